#include "XmlLayout.h"

#include <tinyxml2.h>

using tinyxml2::XMLAttribute;
using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;
using tinyxml2::XMLNode;

namespace {

bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Index just past the end of the construct that starts at `from` and ends with `end`, or npos.
size_t SkipPast(std::string_view text, size_t from, std::string_view end) {
    const size_t at = text.find(end, from);
    return at == std::string_view::npos ? at : at + end.size();
}

// Attribute values are written between double quotes. Without entity processing a value read from
// between single quotes may hold a double quote, which must then be written as a reference.
std::string DoubleQuoted(const char *value) {
    std::string out;
    for (const char *p = value; *p; ++p) {
        if (*p == '"')
            out += "&quot;";
        else
            out += *p;
    }
    return out;
}

class IndentingPrinter : public tinyxml2::XMLPrinter {
public:
    IndentingPrinter() : XMLPrinter(nullptr, false, 0) {}

    using XMLPrinter::VisitEnter;
    bool VisitEnter(const XMLElement &element, const XMLAttribute *attribute) override {
        const XMLElement *parent = element.Parent() ? element.Parent()->ToElement() : nullptr;
        OpenElement(element.Name(), parent ? CompactMode(*parent) : false);
        for (; attribute; attribute = attribute->Next())
            PushAttribute(attribute->Name(), DoubleQuoted(attribute->Value()).c_str());
        return true;
    }

protected:
    void PrintSpace(int depth) override {
        for (int i = 0; i < depth; ++i)
            Write("  ", 2);
    }
};

bool IsText(const XMLNode *node) {
    return node->ToText() != nullptr;
}

bool HasMixedContent(const XMLElement &element) {
    bool text = false;
    bool other = false;
    for (const XMLNode *child = element.FirstChild(); child; child = child->NextSibling()) {
        if (IsText(child))
            text = true;
        else
            other = true;
        if (const XMLElement *childElement = child->ToElement();
            childElement && HasMixedContent(*childElement))
            return true;
    }
    return text && other;
}

} // namespace

bool HasWhitespaceOnlyElementText(std::string_view text) {
    size_t i = 0;
    while ((i = text.find('<', i)) != std::string_view::npos) {
        const std::string_view rest = text.substr(i);
        if (rest.starts_with("<!--")) {
            i = SkipPast(text, i + 4, "-->");
        } else if (rest.starts_with("<![CDATA[")) {
            i = SkipPast(text, i + 9, "]]>");
        } else if (rest.starts_with("<?")) {
            i = SkipPast(text, i + 2, "?>");
        } else if (rest.starts_with("<!") || rest.starts_with("</")) {
            i += 2;
        } else {
            // A start tag: its name, then its end past any quoted attribute values.
            size_t j = i + 1;
            while (j < text.size() && !IsXmlSpace(text[j]) && text[j] != '>' && text[j] != '/')
                ++j;
            const std::string_view name = text.substr(i + 1, j - i - 1);
            char quote = 0;
            for (; j < text.size(); ++j) {
                const char c = text[j];
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            if (j >= text.size())
                return false;
            size_t k = j + 1;
            if (!name.empty() && text[j - 1] != '/') {
                while (k < text.size() && IsXmlSpace(text[k]))
                    ++k;
                const std::string_view after = text.substr(k);
                if (k > j + 1 && after.starts_with("</") && after.substr(2).starts_with(name) &&
                    after.size() > 2 + name.size() &&
                    (after[2 + name.size()] == '>' || IsXmlSpace(after[2 + name.size()])))
                    return true;
            }
            i = j + 1;
        }
        if (i == std::string_view::npos)
            return false;
    }
    return false;
}

bool CanBeReformatted(const XMLDocument &document) {
    int roots = 0;
    for (const XMLNode *node = document.FirstChild(); node; node = node->NextSibling()) {
        if (IsText(node))
            return false;
        if (const XMLElement *element = node->ToElement()) {
            ++roots;
            if (HasMixedContent(*element))
                return false;
        }
    }
    return roots == 1;
}

std::string IndentedXml(const XMLDocument &document) {
    IndentingPrinter printer;
    document.Print(&printer);
    const std::string_view printed(printer.CStr(), static_cast<size_t>(printer.CStrSize() - 1));
    std::string out;
    out.reserve(printed.size() + printed.size() / 16);
    for (size_t i = 0; i < printed.size(); ++i) {
        if (printed[i] == '\n' && (i == 0 || printed[i - 1] != '\r'))
            out += '\r';
        out += printed[i];
    }
    return out;
}
