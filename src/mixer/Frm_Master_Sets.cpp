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

namespace spinx {

namespace {
constexpr const char* kRecordFilter = "FLAC audio (*.flac)|*.flac|WAV audio (*.wav)|*.wav";
constexpr int kWavFilter = 2;

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
    if (!mixer_->StartRecording(path, &reason)) {
        MsgBox("The mix cannot be recorded to \"" + path + "\". " + reason.toStdString());
        return;
    }
    ShowRecordingTime();
    recordingLabel_->show();
    emit recordingChanged(true);
}

bool Frm_Master::IsRecording() const {
    return mixer_->IsRecording();
}

void Frm_Master::StopRecording(const std::string& why) {
    if (!IsRecording()) return;
    const std::string text = mixer_->StopRecording(why);
    recordingLabel_->hide();
    emit recordingChanged(false);
    if (!text.empty()) MsgBox(text + " The recording is in \"" + mixer_->RecordingPath() + "\".");
}

void Frm_Master::ShowRecordingTime() {
    // The writer cannot stop the recording itself; the tick does, so a full disk is news while
    // the deck plays, not at the user's Stop.
    if (mixer_->RecordingFailed()) {
        StopRecording("The recording stopped early.");
        return;
    }
    recordingLabel_->setText(QString::fromStdString(mixer_->RecordingText()));
    recordingLabel_->setToolTip(QString::fromStdString(mixer_->RecordingPath()));
}

} // namespace spinx
