#pragma once
// Replacing a file by the program's one write rule (U_FileTarget.h, compiled in, since the plug-in
// links nothing of the program): a regular file is replaced whole or not at all, through a
// temporary file in its folder; a link is followed.
#include <string>

bool ReplaceFileContents(const std::string &path, const std::string &bytes);
