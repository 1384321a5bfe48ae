#include "support/DataLocation.h"

#include "support/FileIo.h"
#include "support/Mod_Diskinfo.h"
#include "support/ProgramFolder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace spinx {

namespace {

constexpr const char* kFolderName = "spinx";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// XDG base folders must be absolute; anything else is ignored in favour of the default.
std::string BaseFolder(const std::string& value, const std::string& home, const char* fallback) {
    if (!value.empty() && value.front() == '/') return StripTrailingSlash(value);
    return StripTrailingSlash(home) + fallback;
}

std::string Ensured(const std::string& folder) {
    // A failure shows itself, with its reason, at the first write into the folder.
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

std::string InstalledShare(const std::string& programFolder) {
    return std::filesystem::path(programFolder).parent_path().string() + "/share/spinx";
}

} // namespace

UserEnvironment UserEnvironment::Current() {
    return {Env("HOME"), Env("XDG_CONFIG_HOME"), Env("XDG_DATA_HOME"), Env("XDG_MUSIC_DIR")};
}

DataFolders ChooseDataFolders(const std::string& programFolder, bool keepBesideProgram,
                              const UserEnvironment& env) {
    if (keepBesideProgram) return {programFolder, programFolder};
    return {BaseFolder(env.xdgConfigHome, env.home, "/.config") + "/" + kFolderName,
            BaseFolder(env.xdgDataHome, env.home, "/.local/share") + "/" + kFolderName};
}

DataFolders CurrentDataFolders() {
    const std::string program = ProgramFolder();
    const bool beside = ::access(program.c_str(), W_OK) == 0 && !IsFolder(InstalledShare(program));
    DataFolders folders = ChooseDataFolders(program, beside, UserEnvironment::Current());
    Ensured(folders.settings);
    Ensured(folders.data);
    return folders;
}

std::string SettingsFolder() {
    return CurrentDataFolders().settings;
}

std::string DataFolder() {
    return CurrentDataFolders().data;
}

std::string MusicFolderFrom(const std::string& userDirsText, const UserEnvironment& env) {
    const std::string home = StripTrailingSlash(env.home);
    std::istringstream lines(userDirsText);
    std::string line;
    const std::string key = "XDG_MUSIC_DIR=\"";
    while (std::getline(lines, line)) {
        if (line.rfind(key, 0) != 0) continue;
        const auto close = line.find('"', key.size());
        if (close == std::string::npos) continue;
        std::string value = line.substr(key.size(), close - key.size());
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        if (!value.empty() && value.front() == '/') return StripTrailingSlash(value);
    }
    if (!env.xdgMusicDir.empty() && env.xdgMusicDir.front() == '/')
        return StripTrailingSlash(env.xdgMusicDir);
    return home;
}

std::string MusicFolder() {
    const UserEnvironment env = UserEnvironment::Current();
    std::string text;
    ReadWholeFile(BaseFolder(env.xdgConfigHome, env.home, "/.config") + "/user-dirs.dirs", text);
    return MusicFolderFrom(text, env);
}

std::string DialogStartFolder(const std::string& wanted) {
    if (!wanted.empty() && IsFolder(wanted)) return wanted;
    const std::string music = MusicFolder();
    if (!music.empty() && IsFolder(music)) return music;
    return Env("HOME");
}

std::string ShippedFile(const std::string& name) {
    const std::string beside = ProgramFolder() + "/" + name;
    if (FileExists(beside)) return beside;
    const std::string installed = InstalledShare(ProgramFolder()) + "/" + name;
    return FileExists(installed) ? installed : beside;
}

} // namespace spinx
