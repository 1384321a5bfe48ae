#include "mixer/AudibleEdges.h"

#include "engine/Aspinx.h"
#include "engine/analysis/AudibleRange.h"

namespace spinx {

void AudibleEdges::Fill(const Aspinx& engine, int16_t player, const DeckMarkers& markers,
                        DeckReading& reading) {
    if (player < 0 || player >= static_cast<int16_t>(known_.size())) return;
    Known& known = known_[player];
    std::shared_ptr<const Waveform> overview = engine.GetWaveform(player);
    if (overview != known.overview) {
        // A new song (or none yet): its range is worked out once.
        known = {std::move(overview), 0, 0};
        if (known.overview) {
            const engine::AudibleRange range = engine::FindAudibleRange(*known.overview);
            if (range.audible) {
                known.start = range.startMs;
                known.end = range.endMs;
            }
        }
    }
    reading.audibleStart = markers.start > 0 ? 0 : known.start;
    reading.audibleEnd = markers.end != markers.defaultEnd ? 0 : known.end;
}

} // namespace spinx
