#include "engine/analysis/MusicScan.h"

namespace spinx::engine {

MusicScan::MusicScan(QObject& context, Report analysed)
    : scan_(context,
            [analysed = std::move(analysed)](
                const std::string& path, const std::atomic<bool>& cancel) -> std::function<void()> {
                std::string reason;
                std::optional<MusicAnalysis> music = AnalyseMusicFile(path, &reason, &cancel);
                if (cancel) return {};
                return [analysed, path, music = std::move(music), reason] {
                    analysed(path, music, reason);
                };
            }) {}

} // namespace spinx::engine
