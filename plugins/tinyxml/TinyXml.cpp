// The re-formatting plug-in: LoadXml parses a file and keeps the document, SaveXml writes the kept
// document laid out with indentation (XmlLayout.h). Both return 1 on success and 0 otherwise; a
// failure never changes a file, and SaveXml replaces its target whole or not at all.
#include "ReplaceFile.h"
#include "XmlLayout.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <tinyxml2.h>

#define ORVEL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex KeptMutex;
std::unique_ptr<tinyxml2::XMLDocument> Kept; // the document of the last successful LoadXml

bool ReadWholeFile(const char *path, std::string &bytes) {
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path, "rb"), &std::fclose);
    if (!file)
        return false;
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
        bytes.append(chunk, got);
    return !std::ferror(file.get());
}

std::unique_ptr<tinyxml2::XMLDocument> ParseForLayout(const std::string &bytes) {
    // The parser stops at a zero byte and would silently drop the rest; XML text never holds one
    // (a UTF-16 file does, and is refused with it).
    if (bytes.find('\0') != std::string::npos || HasWhitespaceOnlyElementText(bytes))
        return nullptr;
    auto document = std::make_unique<tinyxml2::XMLDocument>(false, tinyxml2::PRESERVE_WHITESPACE);
    if (document->Parse(bytes.data(), bytes.size()) != tinyxml2::XML_SUCCESS ||
        !CanBeReformatted(*document))
        return nullptr;
    return document;
}

} // namespace

ORVEL_EXPORT unsigned char LoadXml(const char *path) {
    std::lock_guard lock(KeptMutex);
    Kept.reset();
    if (!path)
        return 0;
    try {
        std::string bytes;
        if (!ReadWholeFile(path, bytes))
            return 0;
        Kept = ParseForLayout(bytes);
        return Kept ? 1 : 0;
    } catch (...) { // nothing may cross the C boundary
        Kept.reset();
        return 0;
    }
}

ORVEL_EXPORT unsigned char SaveXml(const char *path) {
    std::lock_guard lock(KeptMutex);
    if (!path || !Kept)
        return 0;
    try {
        const std::string text = IndentedXml(*Kept);
        // What is written must read back; otherwise the file is not touched.
        tinyxml2::XMLDocument check(false, tinyxml2::PRESERVE_WHITESPACE);
        if (check.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS)
            return 0;
        return ReplaceFileContents(path, text) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
