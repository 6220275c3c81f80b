#include "core/xml_reader.hpp"

#include <pugixml.hpp>

#include "core/xml_markup.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <unordered_set>

namespace corvault::core::xml {
namespace {

constexpr std::size_t kNone = std::string_view::npos;
constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

const char* reason_of(int code) {
    switch (code) {
        case kNoElements: return "no element found";
        case kInvalidToken: return "not well-formed (invalid token)";
        case kUnclosedToken: return "unclosed token";
        case kTagMismatch: return "mismatched tag";
        case kDuplicateAttribute: return "duplicate attribute";
        case kJunkAfterRoot: return "junk after document element";
        case kUndefinedEntity: return "undefined entity";
        case kUnboundPrefix: return "unbound prefix";
        case kParamEntityRef: return "illegal parameter entity reference";
        case kMisplacedXmlDecl: return "XML or text declaration not at start of entity";
        case kIncorrectEncoding: return "encoding specified in XML declaration is incorrect";
        case kXmlDecl: return "XML declaration not well-formed";
        case kPublicId: return "illegal character(s) in public id";
        default: return "syntax error";
    }
}

// A fault reported at `offset`. expat stops at the first fault its reading comes to, which is
// not always where it reports it: a start tag is judged once read whole, an unclosed token at the
// end of the text; `noticed` is where that happens (`late`: just after the byte there), and the
// fault noticed first is kept.
struct Fault {
    int code = 0;
    std::size_t offset = kNone, noticed = kNone;
    bool late = false;
    explicit operator bool() const { return offset != kNone; }
};

Fault fault_at(int code, std::size_t offset, std::size_t noticed = kNone) {
    return {code, offset, noticed == kNone ? offset : noticed};
}

void keep_first(Fault& kept, const Fault& candidate) {
    if (!candidate) return;
    const bool before = candidate.noticed < kept.noticed;
    if (before || (candidate.noticed == kept.noticed && kept.late && !candidate.late)) kept = candidate;
}

pugi::xml_node node_of(Element e) { return pugi::xml_node(const_cast<pugi::xml_node_struct*>(e)); }

bool is_xml_char(std::uint32_t cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
           (cp >= 0x10000 && cp <= 0x10FFFF);
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_name_start(char c) {
    auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u == ':' || u >= 0x80;
}
bool is_name_char(char c) { return is_name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// pugixml passes bytes through unchecked; expat refuses malformed UTF-8 and characters XML lacks.
std::size_t first_invalid_char(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        // Eight printable ASCII bytes at a time: no byte below 0x20 and none with its top bit set.
        if (n - i >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((((word - 0x2020202020202020ULL) | word) & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned c = p[i];
        if (c < 0x80) {
            if (!is_xml_char(c)) return i;
            ++i;
            continue;
        }
        std::size_t len;
        std::uint32_t cp, min;
        if (c >= 0xC2 && c <= 0xDF)
            len = 2, cp = c & 0x1F, min = 0x80;
        else if (c >= 0xE0 && c <= 0xEF)
            len = 3, cp = c & 0x0F, min = 0x800;
        else if (c >= 0xF0 && c <= 0xF4)
            len = 4, cp = c & 0x07, min = 0x10000;
        else
            return i;
        if (n - i < len) return i;
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return i;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (cp < min || !is_xml_char(cp)) return i;
        i += len;
    }
    return kNone;
}

void append_utf8(std::string& out, std::uint32_t cp) {
    static constexpr unsigned kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
    const int tail = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    out += static_cast<char>(kLead[tail] | (cp >> (6 * tail)));
    for (int k = tail - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F));
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "&#N;" or "&#xN;" starting at raw[at]; like expat, a malformed one is faulted at the first
// byte that cannot continue it, an invalid character at the "&".
Fault resolve_char_ref(std::string_view raw, std::size_t at, std::string& out, std::size_t& end) {
    std::size_t i = at + 2;
    const bool hex = i < raw.size() && raw[i] == 'x';
    if (hex) ++i;
    auto digit = [hex](char c) { return hex ? hex_digit(c) : (c >= '0' && c <= '9' ? c - '0' : -1); };
    std::uint32_t cp = 0;
    const std::size_t first_digit = i;
    for (; i < raw.size() && digit(raw[i]) >= 0; ++i) {
        // Past the last code point the value only needs to stay invalid, not exact.
        if (cp <= 0x10FFFF) cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit(raw[i]));
    }
    if (i == first_digit || i == raw.size() || raw[i] != ';') return fault_at(kInvalidToken, i);
    if (!is_xml_char(cp)) return fault_at(kInvalidToken, at, i);
    append_utf8(out, cp);
    end = i + 1;
    return {};
}

Fault resolve_entity_ref(std::string_view raw, std::size_t at, std::string& out, std::size_t& end) {
    std::size_t i = at + 1;
    // Namespace processing takes colons out of entity names.
    if (i == raw.size() || !is_name_start(raw[i]) || raw[i] == ':') return fault_at(kInvalidToken, i);
    while (i < raw.size() && is_name_char(raw[i]) && raw[i] != ':') ++i;
    if (i == raw.size() || raw[i] != ';') return fault_at(kInvalidToken, i);
    static constexpr std::pair<std::string_view, char> kPredefined[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
    const std::string_view name = raw.substr(at + 1, i - at - 1);
    for (const auto& [entity, c] : kPredefined) {
        if (name == entity) {
            out += c;
            end = i + 1;
            return {};
        }
    }
    // Declarations in a DOCTYPE are never read, so nothing else is defined.
    return fault_at(kUndefinedEntity, at, i);
}

// Character data with its references resolved; the fault's offsets are into `raw`.
Fault resolve_references(std::string_view raw, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < raw.size();) {
        const std::size_t amp = raw.find('&', i);
        out.append(raw, i, amp == kNone ? kNone : amp - i);
        if (amp == kNone) break;
        const bool numeric = amp + 1 < raw.size() && raw[amp + 1] == '#';
        Fault f = numeric ? resolve_char_ref(raw, amp, out, i) : resolve_entity_ref(raw, amp, out, i);
        if (f) return f;
    }
    return {};
}

std::string_view prefix_of(std::string_view name) {
    const std::size_t colon = name.find(':');
    return colon == kNone ? std::string_view() : name.substr(0, colon);
}
std::string_view local_of(std::string_view name) {
    const std::size_t colon = name.find(':');
    return colon == kNone ? name : name.substr(colon + 1);
}

// The namespace the searches use, derived from the root's "{uri}local" tag the way callers
// derive it from ElementTree's tags, odd URIs included.
std::string search_namespace(std::string_view uri, std::string_view local) {
    const std::string tag = uri.empty() ? std::string(local) : "{" + std::string(uri) + "}" + std::string(local);
    const std::size_t close = tag.find('}');
    if (close == kNone) return "";
    std::string_view ns = std::string_view(tag).substr(0, close);
    while (!ns.empty() && ns.front() == '{') ns.remove_prefix(1);
    while (!ns.empty() && ns.back() == '{') ns.remove_suffix(1);
    return std::string(ns);
}

// expat refuses "--" inside a comment: the first "--" after `body` must close it.
Fault comment_fault(std::string_view text, std::size_t body) {
    const std::size_t dashes = text.find("--", body);
    if (dashes == kNone || dashes + 2 >= text.size() || text[dashes + 2] == '>') return {};
    return fault_at(kInvalidToken, dashes + 2);
}

// Text outside the root element, as expat's prolog and epilog tokenizers take it.
Fault stray_text(std::string_view text, std::size_t at, bool after_root) {
    const char c = text[at];
    const bool quote = c == '"' || c == '\'';
    if (after_root)
        return fault_at(is_name_char(c) || quote || c == ']' || c == '>' ? kJunkAfterRoot : kInvalidToken, at);
    if (quote) return fault_at(text.find(c, at + 1) == kNone ? kUnclosedToken : kSyntax, at);
    // Brackets, parentheses and separators are tokens of declarations, out of place here.
    if (std::string_view("[]>(|,").find(c) != kNone) return fault_at(kSyntax, at);
    if (!is_name_char(c)) return fault_at(kInvalidToken, at);
    std::size_t end = at;
    while (end < text.size() && is_name_char(text[end])) ++end;
    return end == text.size() || is_blank(text[end]) ? fault_at(kSyntax, at) : fault_at(kInvalidToken, end);
}

// The tree and, since a search must not re-resolve namespaces up the ancestors of every
// candidate, the elements found outside the searched namespace.
struct Tree : pugi::xml_document {
    std::unordered_set<Element> foreign;
    // The elements below the root in the searched namespace, by local name in document order:
    // a search from the root needs no second walk of the tree.
    std::unordered_map<std::string_view, std::vector<Element>> by_name;
};

// Checks the parsed tree for what pugixml lets through, resolves the references in it, and
// resolves element namespaces with a stack of the declarations in scope.
class TreeCheck {
public:
    TreeCheck(std::string_view text, const char* buffer, Tree& tree) : text_(text), buffer_(buffer), tree_(tree) {}

    // Text or a second element beside the root: expat's prolog and epilog faults.
    Fault check_top_level(pugi::xml_node& root) const {
        for (pugi::xml_node n : tree_.children()) {
            if (n.type() == pugi::node_element) {
                if (root) return fault_at(kJunkAfterRoot, offset_of(n.name(), 1));
                root = n;
            } else if (n.type() == pugi::node_comment) {
                if (Fault f = comment_fault(text_, offset_of(n.value()))) return f;
            } else if (n.type() == pugi::node_cdata) {
                return fault_at(root ? kJunkAfterRoot : kSyntax, offset_of(n.value(), 9));
            } else if (n.type() == pugi::node_pcdata) {
                // Read from the text, which line ends have not been folded in.
                std::size_t at = offset_of(n.value());
                while (at < text_.size() && is_blank(text_[at])) ++at;
                if (at < text_.size() && text_[at] != '<') return stray_text(text_, at, root);
            }
        }
        return {};
    }

    Fault check_elements(pugi::xml_node root) {
        declare("xml", kXmlNamespace);
        root_ = root;
        pugi::xml_node n = root;
        while (n) {
            if (n.type() == pugi::node_element)
                enter(n);
            else if (n.type() == pugi::node_pcdata)
                check_text(n);
            else if (n.type() == pugi::node_comment)
                keep_first(fault_, comment_fault(text_, offset_of(n.value())));
            if (n.first_child()) {
                n = n.first_child();
                continue;
            }
            for (; n != root && !n.next_sibling(); n = n.parent()) leave(n);
            leave(n);
            n = n == root ? pugi::xml_node() : n.next_sibling();
        }
        return fault_;
    }

    const std::string& namespace_uri() const { return namespace_uri_; }

private:
    std::size_t offset_of(const char* p, std::size_t back = 0) const {
        const std::size_t size = text_.size();
        return p >= buffer_ && p <= buffer_ + size ? static_cast<std::size_t>(p - buffer_) - back : size;
    }

    // The default namespace is bound to the prefix "".
    void declare(std::string_view prefix, std::string_view uri) {
        if (prefix.empty()) {
            defaults_.push_back(uri);
        } else {
            scope_[prefix].push_back(uri);
        }
        declared_.push_back(prefix);
    }

    const std::string_view* lookup(std::string_view prefix) const {
        // Unprefixed names are nearly all of them: their namespace needs no hashing.
        if (prefix.empty()) return defaults_.empty() ? nullptr : &defaults_.back();
        const auto it = scope_.find(prefix);
        return it == scope_.end() || it->second.empty() ? nullptr : &it->second.back();
    }

    // What expat's namespace processing refuses in a name: a leading colon, a second one, or a
    // local part that does not start like a name.
    void check_name(std::string_view name, const char* at) {
        const std::size_t first = name.find(':');
        if (first == kNone) return;
        std::size_t bad = first == 0 ? 0 : name.find(':', first + 1);
        if (first != 0 && (first + 1 == name.size() || !is_name_start(name[first + 1]))) bad = first + 1;
        if (bad != kNone) keep_first(fault_, fault_at(kInvalidToken, offset_of(at) + bad));
    }

    // expat judges attributes and namespaces once it has read the whole start tag, up to its ">".
    void tag_fault(int code, std::size_t offset, std::size_t tag) {
        if (tag_end_ == kNone) {
            char quote = 0;
            for (tag_end_ = tag + 1; tag_end_ < text_.size(); ++tag_end_) {
                const char c = text_[tag_end_];
                if (c == quote)
                    quote = 0;
                else if (!quote && (c == '"' || c == '\''))
                    quote = c;
                else if (!quote && c == '>')
                    break;
            }
        }
        Fault f = fault_at(code, offset, tag_end_);
        f.late = true;
        keep_first(fault_, f);
    }

    void check_text(pugi::xml_node n) {
        const std::string_view raw = n.value();
        const std::size_t start = offset_of(n.value()), end_of_cdata = raw.find("]]>");
        if (end_of_cdata != kNone) keep_first(fault_, fault_at(kInvalidToken, start + end_of_cdata + 2));
        if (raw.find('&') == kNone) return;
        std::string resolved;
        if (Fault f = resolve_references(raw, resolved)) {
            keep_first(fault_, fault_at(f.code, start + f.offset, start + f.noticed));
        } else {
            n.set_value(resolved.c_str());
        }
    }

    void enter(pugi::xml_node element) {
        marks_.push_back(declared_.size());
        if (!element.first_attribute()) {
            // Most elements of an answer: no declarations to make, nothing to compare.
            enter_name(element, offset_of(element.name(), 1));
            return;
        }
        const std::size_t tag = offset_of(element.name(), 1);
        tag_end_ = kNone;
        for (pugi::xml_attribute a : element.attributes()) {
            const std::string_view raw = a.value();
            const std::size_t start = offset_of(a.value());
            const std::size_t lt = raw.find('<');
            if (lt != kNone) keep_first(fault_, fault_at(kInvalidToken, start + lt));
            if (raw.find('&') == kNone) continue;
            std::string resolved;
            if (Fault f = resolve_references(raw, resolved)) {
                // A malformed reference stops expat's reading there; an undefined entity (reported
                // at the start tag) or an invalid character is judged once the tag is read.
                const bool malformed = f.offset == f.noticed;
                if (malformed)
                    keep_first(fault_, fault_at(f.code, start + f.offset));
                else
                    tag_fault(f.code, f.code == kUndefinedEntity ? tag : start + f.offset, tag);
            } else {
                a.set_value(resolved.c_str());
            }
        }
        for (pugi::xml_attribute a : element.attributes()) {
            const std::string_view name = a.name(), uri = a.value();
            const bool default_ns = name == "xmlns";
            if (!default_ns && prefix_of(name) != "xmlns") continue;
            // expat refuses "}", its separator in ElementTree's "{uri}local" tags.
            if (uri.find('}') != kNone) tag_fault(kSyntax, tag, tag);
            // An empty URI would undeclare the prefix, which XML namespaces forbid.
            if (!default_ns && uri.empty()) tag_fault(kUnboundPrefix, tag, tag);
            declare(default_ns ? std::string_view() : local_of(name), uri);
        }
        enter_name(element, tag);
        check_attributes(element, tag);
    }

    // The element's own name: well-formed, its prefix bound, its namespace the searched one or not.
    void enter_name(pugi::xml_node element, std::size_t tag) {
        const char* raw = element.name();
        const std::string_view name = raw;
        const bool prefixed = name.find(':') != kNone;
        if (prefixed) check_name(name, raw);
        const std::string_view prefix = prefixed ? prefix_of(name) : std::string_view();
        const std::string_view* uri = lookup(prefix);
        if (!uri && !prefix.empty()) {
            tag_end_ = kNone;
            tag_fault(kUnboundPrefix, tag, tag);
        }
        const std::string_view ns = uri ? *uri : std::string_view();
        if (element == root_) {
            namespace_uri_ = search_namespace(ns, local_of(name));
            root_ns_ = ns;
            root_searched_ = ns == namespace_uri_;
        }
        // Elements that inherit the root's declaration share its very text: no comparison needed.
        const bool same_as_root = ns.data() == root_ns_.data() && ns.size() == root_ns_.size();
        const bool searched = same_as_root ? root_searched_ : ns == namespace_uri_;
        if (!searched) {
            tree_.foreign.insert(element.internal_object());
        } else if (element != root_) {
            tree_.by_name[prefixed ? local_of(name) : name].push_back(element.internal_object());
        }
    }

    // Duplicates by name as written, then by namespace and local name; hashed, since a start tag
    // may carry any number of attributes.
    void check_attributes(pugi::xml_node element, std::size_t tag) {
        const pugi::xml_attribute first = element.first_attribute();
        if (!first) return;
        if (!first.next_attribute()) {  // the common case: nothing to compare with
            const std::string_view name = first.name(), prefix = prefix_of(name);
            check_name(name, first.name());
            if (!prefix.empty() && prefix != "xmlns" && !lookup(prefix)) tag_fault(kUnboundPrefix, tag, tag);
            return;
        }
        std::unordered_set<std::string_view> names;
        std::unordered_set<std::string> expanded;
        for (pugi::xml_attribute a : element.attributes()) {
            const std::string_view name = a.name(), prefix = prefix_of(name);
            check_name(name, a.name());
            if (!names.insert(name).second) tag_fault(kDuplicateAttribute, offset_of(a.name()), tag);
            if (prefix.empty() || prefix == "xmlns") continue;
            const std::string_view* uri = lookup(prefix);
            if (!uri) {
                tag_fault(kUnboundPrefix, tag, tag);
                continue;
            }
            // NUL is in neither a name nor a resolved URI.
            const std::string key = std::string(*uri).append(1, '\0').append(local_of(name));
            if (!expanded.insert(key).second) tag_fault(kDuplicateAttribute, tag, tag);
        }
    }

    void leave(pugi::xml_node n) {
        if (n.type() != pugi::node_element) return;
        for (; declared_.size() > marks_.back(); declared_.pop_back()) {
            if (declared_.back().empty()) {
                defaults_.pop_back();
            } else {
                scope_[declared_.back()].pop_back();
            }
        }
        marks_.pop_back();
    }

    std::string_view text_;
    const char* buffer_;
    Tree& tree_;
    pugi::xml_node root_;
    // Namespace declarations in scope, innermost last, for lookups that do not grow with depth.
    std::unordered_map<std::string_view, std::vector<std::string_view>> scope_;
    std::vector<std::string_view> defaults_;  // the default namespace, innermost last
    std::string_view root_ns_;                // the root's namespace as declared
    bool root_searched_ = false;              // whether that is the namespace searched
    std::vector<std::string_view> declared_;
    std::vector<std::size_t> marks_;
    std::string namespace_uri_;
    std::size_t tag_end_ = kNone;  // of the element being entered, once needed
    Fault fault_;
};

// pugixml's failure in expat's terms. A token cut short by the end of the text is "unclosed"
// and reported where it starts; any other failure is at the byte pugixml stopped at.
Fault parser_fault(const pugi::xml_parse_result& result, std::string_view text, bool has_root) {
    if (result.status == pugi::status_ok) return {};
    if (result.status == pugi::status_out_of_memory) throw std::bad_alloc();
    const std::size_t offset =
        std::min(static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0)), text.size());
    if (result.status == pugi::status_end_element_mismatch) {
        if (offset < 2 || text.compare(offset - 2, 2, "</") != 0) {
            // pugixml reports an element still open at the end of the text as a mismatch.
            const std::size_t last = text.rfind('<');
            if (last != kNone && text.find('>', last) == kNone) return fault_at(kUnclosedToken, last, text.size());
            return fault_at(kNoElements, text.size());
        }
        if (!has_root) return fault_at(kInvalidToken, offset - 1);
        std::size_t end = offset;
        while (end < text.size() && is_name_char(text[end])) ++end;
        if (end == offset || !is_name_start(text[offset]) || text[offset] == ':')
            return fault_at(kInvalidToken, offset);
        while (end < text.size() && is_blank(text[end])) ++end;
        if (end == text.size()) return fault_at(kUnclosedToken, offset - 2, text.size());
        return text[end] == '>' ? fault_at(kTagMismatch, offset, end) : fault_at(kInvalidToken, end);
    }
    std::string_view open = "<", close = ">";
    if (result.status == pugi::status_bad_comment) open = "<!--", close = "-->";
    if (result.status == pugi::status_bad_cdata) open = "<![CDATA[", close = "]]>";
    if (result.status == pugi::status_bad_pi) open = "<?", close = "?>";
    const std::size_t start = text.rfind(open, offset);
    if (Fault f = open == "<!--" && start != kNone ? comment_fault(text, start + 4) : Fault{}) return f;
    const bool unclosed = start != kNone && text.find(close, start + open.size()) == kNone;
    if (unclosed) return fault_at(kUnclosedToken, start, text.size());
    return fault_at(kInvalidToken, offset);
}

void throw_at(std::string_view text, Fault f) {
    int line = 1;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < f.offset && i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        if (text[i] == '\n' || text[i] == '\r') ++line, line_start = i + 1;
    }
    throw ParseError(f.code, reason_of(f.code), line, static_cast<int>(f.offset - std::min(f.offset, line_start)));
}

}  // namespace

ParseError::ParseError(int code, const std::string& reason, int line, int column)
    : std::runtime_error(reason + ": line " + std::to_string(line) + ", column " + std::to_string(column)),
      code_(code),
      line_(line),
      column_(column) {}

Document::Document(std::string_view text) {
    auto tree = std::make_unique<Tree>();
    // In place, so that node names and values point into a buffer whose start is known and their
    // offsets give the positions of faults; the trailing NUL keeps pugixml from eating the last byte.
    const std::size_t size = text.size() + 1;
    auto* buffer = static_cast<char*>(pugi::get_memory_allocation_function()(size));
    if (!buffer) throw std::bad_alloc();
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    // Fragment mode keeps text outside the root, which expat refuses and pugixml would drop.
    // Comments are kept only to be checked.
    const unsigned options = pugi::parse_ws_pcdata | pugi::parse_cdata | pugi::parse_comments | pugi::parse_eol |
                             pugi::parse_wconv_attribute | pugi::parse_fragment;
    const pugi::xml_parse_result result = tree->load_buffer_inplace_own(buffer, size, options, pugi::encoding_utf8);

    TreeCheck check(text, buffer, *tree);
    pugi::xml_node root;
    Fault fault;
    const std::size_t bad_char = first_invalid_char(text);
    if (bad_char != kNone) fault = fault_at(kInvalidToken, bad_char);
    keep_first(fault, check.check_top_level(root));
    // The declarations the tree parser skips: where one is faulty, what the tree parser says of
    // it and of what follows does not count.
    const markup::Fault declared = markup::check(text);
    Fault parsed = parser_fault(result, text, !root.empty());
    if (declared && parsed.noticed >= declared.construct) parsed = {};
    keep_first(fault, parsed);
    if (root) keep_first(fault, check.check_elements(root));
    if (declared) keep_first(fault, fault_at(declared.code, declared.offset));
    if (!fault && !root) fault = fault_at(kNoElements, text.size());
    if (fault) throw_at(text, fault);

    root_ = root.internal_object();
    namespace_uri_ = check.namespace_uri();
    doc_ = tree.release();
}

Document::~Document() { delete static_cast<Tree*>(doc_); }

std::string_view Document::local_name(Element element) const {
    return element == nullptr ? std::string_view()
                              : local_of(pugi::xml_node(const_cast<pugi::xml_node_struct*>(element)).name());
}

bool Document::in_namespace(Element element) const {
    const auto& foreign = static_cast<const Tree*>(doc_)->foreign;
    return foreign.empty() || foreign.count(element) == 0;
}

Element Document::first_child_element(Element parent) {
    pugi::xml_node c = node_of(parent).first_child();
    while (c && c.type() != pugi::node_element) c = c.next_sibling();
    return c.internal_object();
}

Element Document::next_sibling_element(Element element) {
    pugi::xml_node c = node_of(element).next_sibling();
    while (c && c.type() != pugi::node_element) c = c.next_sibling();
    return c.internal_object();
}

bool Document::matches(Element element, std::string_view local_name) const {
    const pugi::xml_node n = node_of(element);
    return n.type() == pugi::node_element && local_of(n.name()) == local_name && in_namespace(element);
}

Element Document::child(Element parent, std::string_view local_name) const {
    if (!parent) return nullptr;
    for (pugi::xml_node c = node_of(parent).first_child(); c; c = c.next_sibling()) {
        if (matches(c.internal_object(), local_name)) return c.internal_object();
    }
    return nullptr;
}

std::vector<Element> Document::children(Element parent, std::string_view local_name) const {
    std::vector<Element> found;
    if (!parent) return found;
    for (pugi::xml_node c = node_of(parent).first_child(); c; c = c.next_sibling()) {
        if (matches(c.internal_object(), local_name)) found.push_back(c.internal_object());
    }
    return found;
}

std::vector<Element> Document::descendants(Element parent, std::string_view local_name) const {
    std::vector<Element> found;
    if (!parent) return found;
    if (parent == root_) {
        const auto& index = static_cast<const Tree*>(doc_)->by_name;
        const auto it = index.find(local_name);
        if (it != index.end()) found = it->second;
        return found;
    }
    // Iterative, so that a deeply nested answer cannot exhaust the stack.
    const pugi::xml_node top = node_of(parent);
    pugi::xml_node n = top.first_child();
    while (n) {
        if (matches(n.internal_object(), local_name)) found.push_back(n.internal_object());
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n != top && !n.next_sibling()) n = n.parent();
        n = n == top ? pugi::xml_node() : n.next_sibling();
    }
    return found;
}

Text Document::text(Element element) const {
    Text t;
    if (!element) return t;
    t.state = Text::State::Empty;
    for (pugi::xml_node c = node_of(element).first_child(); c && c.type() != pugi::node_element; c = c.next_sibling()) {
        if (c.type() != pugi::node_comment) t.value += c.value();
    }
    if (!t.value.empty()) t.state = Text::State::Value;
    return t;
}

}  // namespace corvault::core::xml
