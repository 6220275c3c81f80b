// Reading XML answers: a strict, non-validating parser over pugixml that refuses what is not
// well-formed (as expat would, with expat's reason texts and codes), never loads a DTD or an
// external entity, and finds elements by local name in the namespace of the root element.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
struct xml_node_struct;
class xml_document;
}  // namespace pugi

namespace corvault::core::xml {

// A document that is not well-formed. what() is "<reason>: line <line>, column <column>", the
// form of Python's xml.etree.ElementTree.ParseError; line counts from 1, column from 0.
class ParseError : public std::runtime_error {
public:
    ParseError(int code, const std::string& reason, int line, int column);
    int code() const { return code_; }
    int line() const { return line_; }
    int column() const { return column_; }

private:
    int code_, line_, column_;
};

// expat's codes for the faults this parser reports.
enum ErrorCode : int {
    kSyntax = 2,              // "syntax error"
    kNoElements = 3,          // "no element found"
    kInvalidToken = 4,        // "not well-formed (invalid token)"
    kUnclosedToken = 5,       // "unclosed token"
    kTagMismatch = 7,         // "mismatched tag"
    kDuplicateAttribute = 8,  // "duplicate attribute"
    kJunkAfterRoot = 9,       // "junk after document element"
    kParamEntityRef = 10,     // "illegal parameter entity reference"
    kUndefinedEntity = 11,    // "undefined entity"
    kMisplacedXmlDecl = 17,   // "XML or text declaration not at start of entity"
    kIncorrectEncoding = 19,  // "encoding specified in XML declaration is incorrect"
    kUnboundPrefix = 27,      // "unbound prefix"
    kXmlDecl = 30,            // "XML declaration not well-formed"
    kPublicId = 32,           // "illegal character(s) in public id"
};

// The text of a searched element: no such element, an element without character data, or the
// character data before its first child element (references resolved, comments skipped).
struct Text {
    enum class State { Missing, Empty, Value };
    State state = State::Missing;
    std::string value;

    bool missing() const { return state == State::Missing; }
    bool empty() const { return state == State::Empty; }
};

using Element = const pugi::xml_node_struct*;  // null: no element

// A parsed answer. Searches match elements whose local name is the one asked for and whose
// namespace is the root element's own (no namespace when the root has none); elements of other
// namespaces are never found.
class Document {
public:
    explicit Document(std::string_view text);  // throws ParseError
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    Element root() const { return root_; }
    // The namespace URI the searches use ("" for none).
    const std::string& namespace_uri() const { return namespace_uri_; }

    // The element's name without its prefix.
    std::string_view local_name(Element element) const;
    Element child(Element parent, std::string_view local_name) const;  // first direct child
    // Calls visit(element, local_name) for each direct child element in the searched namespace.
    template <class Visit>
    void each_child(Element parent, Visit&& visit) const {
        for (Element c = first_child_element(parent); c != nullptr; c = next_sibling_element(c)) {
            if (in_namespace(c)) visit(c, local_name(c));
        }
    }
    std::vector<Element> children(Element parent, std::string_view local_name) const;
    std::vector<Element> descendants(Element parent, std::string_view local_name) const;  // document order
    // The text of `element` (Missing for a null element).
    Text text(Element element) const;
    // The text of the first direct child named `local_name`.
    Text child_text(Element parent, std::string_view local_name) const { return text(child(parent, local_name)); }

private:
    bool matches(Element element, std::string_view local_name) const;
    bool in_namespace(Element element) const;
    static Element first_child_element(Element parent);
    static Element next_sibling_element(Element element);
    pugi::xml_document* doc_;
    Element root_ = nullptr;
    std::string namespace_uri_;
};

}  // namespace corvault::core::xml
