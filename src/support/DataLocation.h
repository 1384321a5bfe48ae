#pragma once
// Where the settings file, the song database, EQ files and the kept playlist live, and where
// file dialogs start. A copy of the program in a folder it may write (a build tree, a portable
// copy) keeps everything beside itself; an installed one uses the user's XDG folders. Any thread.
#include <string>

namespace spinx {

// The variables that decide the per-user folders, as the process found them.
struct UserEnvironment {
    std::string home;          // $HOME
    std::string xdgConfigHome; // $XDG_CONFIG_HOME, may be empty
    std::string xdgDataHome;   // $XDG_DATA_HOME, may be empty
    std::string xdgMusicDir;   // $XDG_MUSIC_DIR, may be empty
    static UserEnvironment Current();
};

struct DataFolders {
    std::string settings; // holds the settings file
    std::string data;     // holds the song database, EQ files and the kept playlist
};

// The rule: a program folder that holds its own files (writable, and not an installed layout
// with share/spinx beside it, which root could write too) holds everything; otherwise
// $XDG_CONFIG_HOME/spinx and $XDG_DATA_HOME/spinx (defaults ~/.config and ~/.local/share;
// a relative value does not count, as XDG asks).
DataFolders ChooseDataFolders(const std::string& programFolder, bool keepBesideProgram,
                              const UserEnvironment& env);

// The rule applied to this process; the folders are created when missing.
DataFolders CurrentDataFolders();
std::string SettingsFolder();
std::string DataFolder();

// The user's music folder: XDG_MUSIC_DIR from `userDirsText` (the text of user-dirs.dirs, where
// "$HOME" stands for the home folder), else from the environment, else home.
std::string MusicFolderFrom(const std::string& userDirsText, const UserEnvironment& env);
std::string MusicFolder();

// Where a file dialog asked to open in `wanted` starts: `wanted` when it is a folder here, else
// the music folder when it exists, else home. Remembered folders such as "C:\My Music" come from
// other machines.
std::string DialogStartFolder(const std::string& wanted);

// A file shipped with the program: beside it in a build tree, under ../share/spinx when
// installed. The path beside the program when neither exists.
std::string ShippedFile(const std::string& name);

} // namespace spinx
