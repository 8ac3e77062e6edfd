// Data folders: the home folder, the data folder, and finding the game data.
#pragma once

#include <string>

// The i-th folder of the folder list (home, then data), or empty outside the list.
std::string folder(int i);
int folder_count();
// The home folder ("$XDG_DATA_HOME/Trailbok/"), or empty when there is none.
std::string home_folder();
// Creates every missing parent folder of a path (each prefix before a "/").
void make_parent_folders(const std::string& path);
// Opens the log in the home folder and looks for the main archive "zzzz.saf".
bool find_game_data();
// Opens the home folder in the desktop's file browser.
void open_home_in_browser();
// Forgets the folder list and the file index built over it (shut-down, or a test that
// changes the environment).
void folders_free();
// "/" separators, runs of "/" collapsed, and a trailing "/".
std::string normalise_folder(const std::string& path);

// The whole content of a file opened by name ("@" names search the folders); false when it
// can't be read or is 16 MB or more.
bool file_to_string(const char* name, std::string* out);
