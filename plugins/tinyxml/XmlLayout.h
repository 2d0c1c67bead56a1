#pragma once
// Re-laying out an XML document with one element per line, indented by nesting depth.
//
// The document is parsed without entity processing, so every text and attribute value is written
// back byte for byte as it was read: the file's encoding (named by its declaration, which is kept
// verbatim) never has to be known. Only whitespace between elements changes. Line ends are CR LF,
// as in every file of the program; the parser normalises line breaks inside texts to LF, and they
// are written back as CR LF too, which any XML reader reads as the same text.
//
// Documents whose content could not survive that are refused instead (see CanBeReformatted).
#include <string>
#include <string_view>

namespace tinyxml2 {
class XMLDocument;
}

// Whether a text has an element holding only whitespace, "<a> </a>": the parser drops such text,
// so laying the document out again would lose it.
bool HasWhitespaceOnlyElementText(std::string_view text);

// Whether the parsed document can be laid out again without changing its content: exactly one
// root element, no text outside it, and no element that mixes text with other nodes (indentation
// inside mixed content would become part of the text).
bool CanBeReformatted(const tinyxml2::XMLDocument &document);

// The document laid out with two blanks per level and CR LF line ends.
std::string IndentedXml(const tinyxml2::XMLDocument &document);
