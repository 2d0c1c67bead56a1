#include "ReplaceFile.h"

#include "U_FileTarget.h"

bool ReplaceFileContents(const std::string &path, const std::string &bytes) {
    return WriteFileTarget(path, bytes.data(), bytes.size()) == 0;
}
