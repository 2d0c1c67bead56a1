#pragma once
// Replacing a file whole: the new bytes go to a temporary file in the target's folder, which is
// then renamed over the target, so a failed write leaves the target exactly as it was.
#include <string>

bool ReplaceFileContents(const std::string &path, const std::string &bytes);
