// The desktop launcher writer.
#pragma once

#include <string>

// Writes a launcher named LinkName + ".desktop" that starts TargetPath, into
// the special folder SpecialFolder (0 = desktop) or, when SpecialFolder is -1,
// into Folder; with Folder empty and SpecialFolder -1 the desktop is used.
// An empty LinkName becomes the target's file name without its extension.
// The file is replaced atomically. Returns true when it was saved; false when
// the target or the folder does not exist or the save failed.
bool CreateShortcut(const std::string& TargetPath, std::string LinkName, std::string Folder,
                    int SpecialFolder);

// The text of a launcher for TargetPath named LinkName (Desktop Entry format).
std::string DesktopEntryText(const std::string& TargetPath, const std::string& LinkName);
