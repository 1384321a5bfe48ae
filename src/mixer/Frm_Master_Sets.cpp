// The mixer's help for unattended sets: songs levelled to one loudness, and the mix recorded.
#include "desk/MixerController.h"
#include "mixer/Frm_Master.h"
#include "support/FileChooser.h"
#include "support/Mod_Diskinfo.h"
#include "support/Mod_INI.h"
#include "support/MsgBox.h"
#include "support/SettingsKeys.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>

#include <cstdio>

namespace spinx {

namespace {
constexpr const char* kRecordFilter = "FLAC audio (*.flac)|*.flac|WAV audio (*.wav)|*.wav";
constexpr int kWavFilter = 2;

// Elapsed time as h:mm:ss.
std::string ClockText(int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}
} // namespace

void Frm_Master::Chk_Level_Click() {
    std::string error;
    if (!WriteINI("", kLevelSongsKey, levelCheck_->isChecked() ? "Yes" : "No", kSettingsSection,
                  &error))
        MsgBox("The Level songs setting cannot be kept. " + error);
    mixer_->SetLevelling(levelCheck_->isChecked());
}

void Frm_Master::StartOrStopRecording() {
    if (IsRecording()) {
        StopRecording();
        return;
    }
    // The next recording is offered where the last one went, in its format.
    FileRequest request;
    request.kind = FileDialogKind::Save;
    request.title = "Record Mix";
    request.folder = recordFolder_.empty()
                         ? ReadINI("", kMp3PathKey, kMp3PathDefault, kSettingsSection)
                         : recordFolder_;
    request.filter = kRecordFilter;
    request.filterIndex = recordFilter_;
    const char* ext = recordFilter_ == kWavFilter ? "wav" : "flac";
    request.defaultExt = ext;
    request.name =
        "Spinx mix " +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh.mm")).toStdString() +
        "." + ext;
    request.confirmOverwrite = true;
    const std::optional<FileDialogAnswer> answer = ChooseFiles(request);
    if (!answer) return;
    recordFilter_ = answer->filterIndex;

    std::string path = answer->files.front();
    // A name typed without the format's extension gets the one of the chosen format.
    const QString typed = QString::fromStdString(GetExtension(GetFileName(path))).toLower();
    if (typed != "flac" && typed != "wav") path += recordFilter_ == kWavFilter ? ".wav" : ".flac";
    recordFolder_ = GetPath(path);
    QString reason;
    if (!engine_->StartRecording(QString::fromStdString(path), &reason)) {
        MsgBox("The mix cannot be recorded to \"" + path + "\". " + reason.toStdString());
        return;
    }
    recordingPath_ = path;
    ShowRecordingTime();
    recordingLabel_->show();
    emit recordingChanged(true);
}

void Frm_Master::StopRecording(const std::string& why) {
    if (!IsRecording()) return;
    const uint64_t lost = engine_->RecordingDroppedFrames();
    QString reason;
    const bool complete = engine_->StopRecording(&reason);
    recordingLabel_->hide();
    emit recordingChanged(false);

    std::string text = why;
    const auto add = [&text](const std::string& sentence) {
        text += (text.empty() ? "" : " ") + sentence;
    };
    if (!complete) add(reason.toStdString());
    if (lost > 0) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f",
                      static_cast<double>(lost) / engine_->SampleRate());
        add("The computer fell behind while recording: " + std::string(seconds) +
            " seconds of the mix are missing from the file.");
    }
    if (!text.empty()) MsgBox(text + " The recording is in \"" + recordingPath_ + "\".");
}

void Frm_Master::ShowRecordingTime() {
    // The writer cannot stop the recording itself; the tick does, so a full disk is news while
    // the deck plays, not at the user's Stop.
    if (engine_->RecordingFailed()) {
        StopRecording("The recording stopped early.");
        return;
    }
    const int rate = std::max(engine_->SampleRate(), 1);
    std::string text = "\u25CF Recording " + ClockText(engine_->RecordedFrames() / rate);
    if (const uint64_t lost = engine_->RecordingDroppedFrames(); lost > 0)
        text += " (" + std::to_string(lost * 1000 / rate) + " ms lost)";
    recordingLabel_->setText(QString::fromStdString(text));
    recordingLabel_->setToolTip(QString::fromStdString(recordingPath_));
}

} // namespace spinx
