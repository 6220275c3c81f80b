#include "core/xml_markup.hpp"

#include <string>

#include "core/xml_reader.hpp"

namespace corvault::core::xml::markup {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_name_start(char c) { return is_letter(c) || c == '_' || c == ':' || static_cast<unsigned char>(c) >= 0x80; }
bool is_name_char(char c) { return is_name_start(c) || is_digit(c) || c == '-' || c == '.'; }
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

// The characters a public identifier may hold.
bool is_pubid_char(char c) {
    return is_letter(c) || is_digit(c) || std::string_view(" \r\n-'()+,./:=?;!*#@$_%").find(c) != kNone;
}

// A token of a document type declaration, as expat's prolog tokenizer splits it.
enum class Tok {
    End,
    Name,
    NmToken,
    SuffixedName,
    PoundName,
    Literal,
    ParamRef,
    Percent,
    OpenBracket,
    CloseBracket,
    Close,
    OpenParen,
    CloseParen,
    SuffixedParen,
    Or,
    Comma,
    Comment,
    Pi,
    DeclOpen,
    Other,
    Invalid
};

class Checker {
public:
    explicit Checker(std::string_view text) : t_(text) {}

    Fault run() {
        std::size_t i = t_.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        const std::size_t declaration_end = t_.find("?>", i);
        if (pi_target(i) == "xml" && declaration_follows(i) && declaration_end != kNone) {
            if (!declaration(i, declaration_end)) return fault_;
            i = declaration_end + 2;
        }
        if (!prolog(i)) return fault_;
        // Anything before the root that is not markup of the prolog is for the tree checks.
        if (i + 1 < t_.size() && t_[i] == '<' && (is_name_start(t_[i + 1]) || t_[i + 1] == '/')) body(i);
        return fault_;
    }

private:
    bool fail(int code, std::size_t offset, std::size_t construct) {
        fault_ = {code, offset, construct};
        return false;
    }

    // The target of the processing instruction at t_[at] ("" when there is none).
    std::string_view pi_target(std::size_t at) const {
        if (t_.compare(at, 2, "<?") != 0) return {};
        std::size_t end = at + 2;
        if (end >= t_.size() || !is_name_start(t_[end])) return {};
        while (end < t_.size() && is_name_char(t_[end])) ++end;
        return t_.substr(at + 2, end - at - 2);
    }

    // A processing instruction anywhere but at the very start: "xml" is the declaration, which
    // only the start may hold, and its other spellings are reserved.
    bool check_pi(std::size_t at, bool in_body = false) {
        const std::string_view target = pi_target(at);
        if (target.empty()) return true;  // the tree parser reports it
        // In the body, only where markup can start: the tree parser judges a "<" inside a tag.
        if (in_body && !walk_to(at)) return true;
        const std::size_t after = at + 2 + target.size();
        if (after < t_.size() && !is_blank(t_[after])) {
            if (t_[after] != '?') return fail(kInvalidToken, after, at);
            if (after + 1 < t_.size() && t_[after + 1] != '>') return fail(kInvalidToken, after + 1, at);
        }
        if (target != "xml" && iequals(target, "xml")) return fail(kInvalidToken, after, at);
        // An unclosed one is an unclosed token, which the tree parser reports.
        if (t_.find("?>", at + 2) == kNone) return true;
        if (target == "xml") return fail(in_body && walk_.root_ended ? kJunkAfterRoot : kMisplacedXmlDecl, at, at);
        return true;
    }

    bool declaration_follows(std::size_t at) const {
        const std::size_t next = at + 5;
        return next < t_.size() && (is_blank(t_[next]) || t_.compare(next, 2, "?>") == 0);
    }

    // <?xml version="..." [encoding="..."] [standalone="yes|no"] ?>, pseudo-attributes in that
    // order, each value of letters, digits, ".", "-" and "_".
    bool declaration(std::size_t at, std::size_t end) {
        std::size_t p = at + 5;
        int seen = 0;  // 1 after version, 2 after encoding, 3 after standalone
        for (;;) {
            while (p < end && is_blank(t_[p])) ++p;
            if (p == end) break;
            if (seen == 3) return fail(kXmlDecl, p, at);  // nothing may follow standalone
            const std::size_t name_start = p;
            while (p < end && t_[p] != '=' && !is_blank(t_[p]) && static_cast<unsigned char>(t_[p]) < 0x80) ++p;
            if (p == end || static_cast<unsigned char>(t_[p]) >= 0x80) return fail(kXmlDecl, p, at);
            const std::string_view name = t_.substr(name_start, p - name_start);
            while (p < end && is_blank(t_[p])) ++p;
            if (p == end || t_[p] != '=') return fail(kXmlDecl, p, at);
            ++p;
            while (p < end && is_blank(t_[p])) ++p;
            if (p == end || (t_[p] != '"' && t_[p] != '\'')) return fail(kXmlDecl, p, at);
            const char quote = t_[p++];
            const std::size_t value_start = p;
            for (; p < end && t_[p] != quote; ++p) {
                const char c = t_[p];
                if (!is_letter(c) && !is_digit(c) && c != '.' && c != '-' && c != '_') return fail(kXmlDecl, p, at);
            }
            if (p == end) return fail(kXmlDecl, p, at);
            const std::string_view value = t_.substr(value_start, p - value_start);
            ++p;
            if (name == "version" && seen == 0) {
                seen = 1;
            } else if (name == "encoding" && seen == 1) {
                seen = 2;
                if (value.empty() || !is_letter(value[0])) return fail(kXmlDecl, value_start, at);
                // The text is read as UTF-8: a declared two-byte encoding cannot describe it.
                if (iequals(value, "UTF-16") || iequals(value, "UTF-16LE") || iequals(value, "UTF-16BE")) {
                    return fail(kIncorrectEncoding, value_start, at);
                }
            } else if (name == "standalone" && seen >= 1 && seen < 3) {
                seen = 3;
                if (value != "yes" && value != "no") return fail(kXmlDecl, value_start, at);
            } else {
                return fail(kXmlDecl, seen == 0 && name.empty() ? at + 5 : name_start, at);
            }
            if (p < end && !is_blank(t_[p])) return fail(kXmlDecl, p, at);
        }
        return seen > 0 || fail(kXmlDecl, at + 5, at);
    }

    // Comments, processing instructions and at most one document type declaration before the
    // root element. Stops at the root, or at anything else, which the tree checks judge.
    bool prolog(std::size_t& i) {
        bool doctype_seen = false;
        for (;;) {
            while (i < t_.size() && is_blank(t_[i])) ++i;
            if (i >= t_.size() || t_[i] != '<') return true;
            if (t_.compare(i, 4, "<!--") == 0) {
                const std::size_t close = t_.find("-->", i + 4);
                if (close == kNone) return true;
                i = close + 3;
            } else if (t_.compare(i, 2, "<?") == 0) {
                if (!check_pi(i)) return false;
                const std::size_t close = t_.find("?>", i + 2);
                if (close == kNone) return true;
                i = close + 2;
            } else if (t_.compare(i, 2, "<!") == 0 && t_.compare(i, 3, "<![") != 0) {
                std::size_t p = i + 2;
                while (p < t_.size() && is_letter(t_[p])) ++p;
                // Without a keyword it is no declaration, and the tree parser judges it.
                if (p == i + 2 || p == t_.size()) return true;
                construct_ = token_start_ = i;
                if (decl_open(p) == Tok::Invalid) return false;
                if (t_.substr(i + 2, p - i - 2) != "DOCTYPE" || doctype_seen) return fail(kSyntax, i, i);
                doctype_seen = true;
                const std::size_t start = i;
                i = p;
                if (!doctype(i, start)) return false;
            } else {
                return true;
            }
        }
    }

    // Content and what follows the root: processing instructions, and declarations, which only
    // the prolog may hold. Only markup opened by "<?" or "<!" matters here, so the tags before one
    // are read only when it is found (see Walk).
    void body(std::size_t root) {
        walk_ = {root};
        for (std::size_t i = root; (i = markup_open(i)) != kNone;) {
            const char next = t_[i + 1];
            std::size_t close;
            if (t_.compare(i, 4, "<!--") == 0) {
                close = t_.find("-->", i + 4);
                if (close != kNone) close += 3;
            } else if (t_.compare(i, 9, "<![CDATA[") == 0) {
                close = t_.find("]]>", i + 9);
                if (close != kNone) close += 3;
            } else if (next == '?') {
                if (!check_pi(i, true)) return;
                close = t_.find("?>", i + 2);
                if (close != kNone) close += 2;
            } else {
                if (i + 2 < t_.size() && is_letter(t_[i + 2]) && walk_to(i)) {
                    const bool after_root = walk_.root_ended;
                    fail(after_root ? kJunkAfterRoot : kInvalidToken, after_root ? i : i + 2, i);
                }
                return;
            }
            if (close == kNone) return;
            i = close;
        }
    }

    // The next "<?" or "<!" at or after t_[from]. A body is mostly element tags, and "?" and "!"
    // are rare in it, so those are searched for (each at most once over the text) and the "<"
    // checked behind them, rather than stopping at every "<".
    std::size_t markup_open(std::size_t from) {
        for (std::size_t p = from + 1;;) {
            if (question_ < p) question_ = t_.find('?', p);
            if (bang_ < p) bang_ = t_.find('!', p);
            const std::size_t hit = question_ < bang_ ? question_ : bang_;
            if (hit == kNone) return kNone;
            if (t_[hit - 1] == '<') return hit - 1;
            p = hit + 1;
        }
    }

    // Reading the tags from the root on, forward only: whether markup starts at t_[at] (rather
    // than a "<" inside a tag, or one the tree parser refuses), and whether the root has ended.
    struct Walk {
        std::size_t next = kNone;  // where the next construct starts
        long depth = 0;
        bool root_ended = false;
    };

    bool walk_to(std::size_t at) {
        while (walk_.next < at) {
            const std::size_t i = t_.find('<', walk_.next);
            if (i == kNone || i > at) return false;
            if (i == at) break;
            std::size_t close;
            if (t_.compare(i, 4, "<!--") == 0) {
                close = t_.find("-->", i + 4);
                if (close != kNone) close += 2;
            } else if (t_.compare(i, 9, "<![CDATA[") == 0) {
                close = t_.find("]]>", i + 9);
                if (close != kNone) close += 2;
            } else if (t_.compare(i, 2, "<?") == 0) {
                close = t_.find("?>", i + 2);
                if (close != kNone) close += 1;
            } else {
                close = tag_end(i);
                if (close == kNone || close > at) return false;
                if (t_[i + 1] == '/')
                    --walk_.depth;
                else if (t_[close - 1] != '/')
                    ++walk_.depth;
                walk_.root_ended = walk_.root_ended || walk_.depth == 0;
            }
            if (close == kNone || close > at) return false;
            walk_.next = close + 1;
        }
        return walk_.next <= at && t_.find('<', walk_.next) == at;
    }

    std::size_t tag_end(std::size_t at) const {
        char quote = 0;
        for (std::size_t p = at + 1; p < t_.size(); ++p) {
            const char c = t_[p];
            if (c == quote)
                quote = 0;
            else if (!quote && (c == '"' || c == '\''))
                quote = c;
            else if (!quote && c == '>')
                return p;
        }
        return kNone;
    }

    // ---- the document type declaration ----

    struct Token {
        Tok kind = Tok::End;
        std::size_t start = 0, end = 0;
    };

    // The next token from t_[p], white space skipped; sets the fault for one that cannot be read.
    Token next(std::size_t& p) {
        while (p < t_.size() && is_blank(t_[p])) ++p;
        Token tok;
        tok.start = p;
        tok.kind = scan(p);
        tok.end = p;
        return tok;
    }

    // A token the text ends in the middle of is unclosed, and reported where it starts.
    Tok invalid(int code, std::size_t offset) {
        if (offset >= t_.size())
            fail(kUnclosedToken, token_start_, construct_);
        else
            fail(code, offset, construct_);
        return Tok::Invalid;
    }

    // What may directly follow a token of each kind.
    enum class After { Name, PoundName, Literal, Paren };
    bool ends_token(std::size_t p, After after) const {
        if (p >= t_.size() || is_blank(t_[p]) || t_[p] == '>') return true;
        const std::string_view followers[] = {")|,%[", ")|%", "%[", ")|,"};
        return followers[static_cast<int>(after)].find(t_[p]) != kNone;
    }

    // "<!" and a keyword open a declaration when white space or a parameter-entity reference
    // follows; `q` is just past the keyword.
    Tok decl_open(std::size_t q) {
        if (q < t_.size() && t_[q] == '%' && (q + 1 >= t_.size() || is_blank(t_[q + 1]) || t_[q + 1] == '%')) {
            return invalid(kInvalidToken, q + 1 >= t_.size() ? q + 1 : q);
        }
        if (q < t_.size() && !is_blank(t_[q]) && t_[q] != '%') return invalid(kInvalidToken, q);
        return Tok::DeclOpen;
    }

    Tok scan(std::size_t& p) {
        if (p >= t_.size()) return Tok::End;
        const std::size_t at = token_start_ = p;
        const char c = t_[p];
        if (is_name_char(c)) {
            while (p < t_.size() && is_name_char(t_[p])) ++p;
            if (is_name_start(c) && p < t_.size() && (t_[p] == '?' || t_[p] == '*' || t_[p] == '+')) {
                ++p;
                return Tok::SuffixedName;
            }
            if (!ends_token(p, After::Name)) return invalid(kInvalidToken, p);
            return is_name_start(c) ? Tok::Name : Tok::NmToken;
        }
        switch (c) {
            case '"':
            case '\'': {
                const std::size_t close = t_.find(c, at + 1);
                if (close == kNone) return invalid(kUnclosedToken, at);
                p = close + 1;
                if (!ends_token(p, After::Literal)) return invalid(kInvalidToken, p);
                return Tok::Literal;
            }
            case '#': {
                ++p;
                if (p >= t_.size() || !is_name_start(t_[p])) return invalid(kInvalidToken, p);
                while (p < t_.size() && is_name_char(t_[p])) ++p;
                if (!ends_token(p, After::PoundName)) return invalid(kInvalidToken, p);
                return Tok::PoundName;
            }
            case '%': {
                ++p;
                if (p < t_.size() && (is_blank(t_[p]) || t_[p] == '%')) return Tok::Percent;
                if (p >= t_.size() || !is_name_start(t_[p])) return invalid(kInvalidToken, p);
                while (p < t_.size() && is_name_char(t_[p])) ++p;
                if (p >= t_.size() || t_[p] != ';') return invalid(kInvalidToken, p);
                ++p;
                return Tok::ParamRef;
            }
            case ')': {
                ++p;
                if (p < t_.size() && (t_[p] == '*' || t_[p] == '?' || t_[p] == '+')) {
                    ++p;
                    return Tok::SuffixedParen;
                }
                if (!ends_token(p, After::Paren)) return invalid(kInvalidToken, p);
                return Tok::CloseParen;
            }
            case '[': ++p; return Tok::OpenBracket;
            case ']':
                // "]]>" closes a conditional section, which the internal subset cannot hold.
                if (t_.compare(p, 3, "]]>") == 0) {
                    p += 3;
                    return Tok::Other;
                }
                ++p;
                return Tok::CloseBracket;
            case '>': ++p; return Tok::Close;
            case '(': ++p; return Tok::OpenParen;
            case '|': ++p; return Tok::Or;
            case ',': ++p; return Tok::Comma;
            case '<': return scan_markup(p);
            default: return invalid(kInvalidToken, at);
        }
    }

    Tok scan_markup(std::size_t& p) {
        const std::size_t at = p;
        if (t_.compare(at, 4, "<!--") == 0) {
            const std::size_t dashes = t_.find("--", at + 4);
            if (dashes == kNone) return invalid(kUnclosedToken, at);
            if (dashes + 2 >= t_.size()) return invalid(kUnclosedToken, at);
            if (t_[dashes + 2] != '>') return invalid(kInvalidToken, dashes + 2);
            p = dashes + 3;
            return Tok::Comment;
        }
        if (t_.compare(at, 2, "<?") == 0) {
            if (pi_target(at).empty()) return invalid(kInvalidToken, at + 2);
            if (!check_pi(at)) {
                fault_.construct = construct_;  // the whole declaration is out of the tree parser's sight
                return Tok::Invalid;
            }
            const std::size_t close = t_.find("?>", at + 2);
            if (close == kNone) return invalid(kUnclosedToken, at);
            p = close + 2;
            return Tok::Pi;
        }
        if (t_.compare(at, 2, "<!") == 0) {
            std::size_t q = at + 2;
            while (q < t_.size() && is_letter(t_[q])) ++q;
            if (q == t_.size()) return invalid(kUnclosedToken, at);
            if (q == at + 2) {
                p = at + 2;
                if (t_.compare(at, 3, "<![") == 0) return Tok::Other;
                return invalid(kInvalidToken, t_.compare(at, 3, "<!-") == 0 ? q + 1 : q);
            }
            p = q;
            return decl_open(q);
        }
        p = at + 1;
        if (p == t_.size()) return invalid(kUnclosedToken, at);
        if (is_name_start(t_[p])) return Tok::Other;
        return invalid(kInvalidToken, p);
    }

    std::string_view word(const Token& tok) const { return t_.substr(tok.start, tok.end - tok.start); }

    // A token the grammar does not allow here: syntax error at its start, unless it could not be
    // read at all, or the text ended first.
    bool unexpected(const Token& tok) {
        if (tok.kind == Tok::Invalid) return false;
        if (tok.kind == Tok::End) return fail(kNoElements, t_.size(), construct_);
        return fail(kSyntax, tok.start, construct_);
    }

    // Inside a declaration: parameter-entity references are not allowed in the internal subset.
    Token decl_token(std::size_t& p) {
        Token tok = next(p);
        if (tok.kind == Tok::ParamRef) {
            fail(kParamEntityRef, tok.start, construct_);
            tok.kind = Tok::Invalid;
        }
        return tok;
    }

    bool literal_ok(const Token& tok, bool pubid, bool entity_value) {
        const std::size_t begin = tok.start + 1, end = tok.end - 1;
        for (std::size_t q = begin; q < end; ++q) {
            const char c = t_[q];
            if (pubid && !is_pubid_char(c)) return fail(kPublicId, q, construct_);
            if (pubid) continue;
            if (c == '%' && entity_value)
                return fail(param_ref_at(q, end) ? kParamEntityRef : kInvalidToken, q, construct_);
            if (c == '<' && !entity_value) return fail(kInvalidToken, q, construct_);
            if (c == '&' && !reference_ok(q, end, entity_value, tok.start)) return false;
        }
        return true;
    }

    bool param_ref_at(std::size_t percent, std::size_t end) const {
        std::size_t q = percent + 1;
        if (q >= end || !is_name_start(t_[q])) return false;
        while (q < end && is_name_char(t_[q])) ++q;
        return q < end && t_[q] == ';';
    }

    // A reference in a literal. Declared entities are never expanded (see the reader), so in an
    // attribute default only the predefined ones are defined; an entity value is not expanded
    // at all, and expat reports a malformed reference there at its "&".
    bool reference_ok(std::size_t amp, std::size_t end, bool entity_value, std::size_t literal) {
        std::size_t q = amp + 1;
        if (q < end && t_[q] == '#') {
            ++q;
            const bool hex = q < end && t_[q] == 'x';
            if (hex) ++q;
            const std::size_t digits = q;
            unsigned long value = 0;
            for (; q < end && (is_digit(t_[q]) || (hex && std::string_view("abcdefABCDEF").find(t_[q]) != kNone));
                 ++q) {
                const char d = t_[q];
                const unsigned long digit = is_digit(d) ? d - '0' : (ascii_lower(d) - 'a' + 10);
                if (value <= 0x10FFFF) value = value * (hex ? 16 : 10) + digit;
            }
            if (q == digits || q >= end || t_[q] != ';') return fail(kInvalidToken, q >= end ? amp : q, construct_);
            const bool xml_char = value == 0x9 || value == 0xA || value == 0xD || (value >= 0x20 && value <= 0xD7FF) ||
                                  (value >= 0xE000 && value <= 0xFFFD) || (value >= 0x10000 && value <= 0x10FFFF);
            return xml_char || fail(kInvalidToken, amp, construct_);
        }
        if (q >= end || !is_name_start(t_[q]))
            return fail(kInvalidToken, entity_value || q >= end ? amp : q, construct_);
        while (q < end && is_name_char(t_[q])) ++q;
        if (q >= end || t_[q] != ';') return fail(kInvalidToken, entity_value || q >= end ? amp : q, construct_);
        // An external subset may define it.
        if (entity_value || external_subset_) return true;
        const std::string_view name = t_.substr(amp + 1, q - amp - 1);
        for (std::string_view predefined : {"lt", "gt", "amp", "apos", "quot"}) {
            if (name == predefined) return true;
        }
        return fail(kUndefinedEntity, literal, construct_);
    }

    // SYSTEM "system" | PUBLIC "public" "system" (the system literal optional in a notation).
    bool external_id(const Token& keyword, std::size_t& p, bool system_optional, Token& after) {
        Token tok = decl_token(p);
        if (tok.kind != Tok::Literal) return unexpected(tok);
        const bool is_public = word(keyword) == "PUBLIC";
        if (is_public && !literal_ok(tok, true, false)) return false;
        after = decl_token(p);
        if (!is_public) return true;
        if (after.kind == Tok::Literal) {
            after = decl_token(p);
            return true;
        }
        return system_optional || unexpected(after);
    }

    bool doctype(std::size_t& p, std::size_t start) {
        construct_ = start;
        Token tok = decl_token(p);
        if (tok.kind != Tok::Name) return unexpected(tok);
        tok = decl_token(p);
        if (tok.kind == Tok::Name && (word(tok) == "SYSTEM" || word(tok) == "PUBLIC")) {
            external_subset_ = true;
            Token after;
            if (!external_id(tok, p, false, after)) return false;
            tok = after;
        }
        if (tok.kind == Tok::OpenBracket) {
            if (!internal_subset(p)) return false;
            tok = decl_token(p);
        }
        return tok.kind == Tok::Close || unexpected(tok);
    }

    bool internal_subset(std::size_t& p) {
        for (;;) {
            const Token tok = next(p);
            switch (tok.kind) {
                case Tok::CloseBracket: return true;
                case Tok::ParamRef: after_param_ref_ = true; continue;
                case Tok::Comment:
                case Tok::Pi: continue;
                case Tok::DeclOpen: {
                    const std::string_view keyword = word(tok).substr(2);
                    bool ok;
                    if (keyword == "ELEMENT")
                        ok = element_decl(p);
                    else if (keyword == "ATTLIST")
                        ok = attlist_decl(p);
                    else if (keyword == "ENTITY")
                        ok = entity_decl(p);
                    else if (keyword == "NOTATION")
                        ok = notation_decl(p);
                    else
                        return fail(kSyntax, tok.start, construct_);
                    if (!ok) return false;
                    continue;
                }
                default: return unexpected(tok);
            }
        }
    }

    bool close_decl(std::size_t& p) {
        const Token tok = decl_token(p);
        return tok.kind == Tok::Close || unexpected(tok);
    }

    // <!ELEMENT name (EMPTY | ANY | mixed | children)>
    bool element_decl(std::size_t& p) {
        Token tok = decl_token(p);
        if (tok.kind != Tok::Name) return unexpected(tok);
        tok = decl_token(p);
        if (tok.kind == Tok::Name && (word(tok) == "EMPTY" || word(tok) == "ANY")) return close_decl(p);
        if (tok.kind != Tok::OpenParen) return unexpected(tok);
        tok = decl_token(p);
        if (tok.kind == Tok::PoundName && word(tok) == "#PCDATA") {
            tok = decl_token(p);
            if (tok.kind == Tok::CloseParen || (tok.kind == Tok::SuffixedParen && t_[tok.end - 1] == '*')) {
                return close_decl(p);
            }
            while (tok.kind == Tok::Or) {
                tok = decl_token(p);
                if (tok.kind != Tok::Name) return unexpected(tok);
                tok = decl_token(p);
            }
            if (tok.kind == Tok::SuffixedParen && t_[tok.end - 1] == '*') return close_decl(p);
            return unexpected(tok);
        }
        if (!content_group(tok, p)) return false;
        return close_decl(p);
    }

    // The rest of a choice or sequence whose first token after "(" is `tok`, nested groups included.
    bool content_group(Token tok, std::size_t& p) {
        Tok separator = Tok::End;
        for (;;) {
            if (tok.kind == Tok::OpenParen) {
                if (!content_group(decl_token(p), p)) return false;
            } else if (tok.kind != Tok::Name && tok.kind != Tok::SuffixedName) {
                return unexpected(tok);
            }
            tok = decl_token(p);
            if (tok.kind == Tok::CloseParen || tok.kind == Tok::SuffixedParen) return true;
            if (tok.kind != Tok::Or && tok.kind != Tok::Comma) return unexpected(tok);
            if (separator != Tok::End && tok.kind != separator) return unexpected(tok);
            separator = tok.kind;
            tok = decl_token(p);
        }
    }

    // <!ATTLIST element (name type default)*>
    bool attlist_decl(std::size_t& p) {
        static constexpr std::string_view kTypes[] = {"CDATA",  "ID",       "IDREF",   "IDREFS",
                                                      "ENTITY", "ENTITIES", "NMTOKEN", "NMTOKENS"};
        Token tok = decl_token(p);
        if (tok.kind != Tok::Name) return unexpected(tok);
        for (;;) {
            tok = decl_token(p);
            if (tok.kind == Tok::Close) return true;
            if (tok.kind != Tok::Name) return unexpected(tok);
            tok = decl_token(p);
            bool named_type = false;
            for (std::string_view type : kTypes)
                named_type = named_type || (tok.kind == Tok::Name && word(tok) == type);
            if (!named_type) {
                const bool notation = tok.kind == Tok::Name && word(tok) == "NOTATION";
                if (notation) tok = decl_token(p);
                if (tok.kind != Tok::OpenParen) return unexpected(tok);
                do {
                    tok = decl_token(p);
                    if (tok.kind != Tok::Name && (notation || tok.kind != Tok::NmToken)) return unexpected(tok);
                    tok = decl_token(p);
                } while (tok.kind == Tok::Or);
                if (tok.kind != Tok::CloseParen) return unexpected(tok);
            }
            tok = decl_token(p);
            if (tok.kind == Tok::PoundName && word(tok) == "#FIXED")
                tok = decl_token(p);
            else if (tok.kind == Tok::PoundName && (word(tok) == "#REQUIRED" || word(tok) == "#IMPLIED"))
                continue;
            if (tok.kind != Tok::Literal) return unexpected(tok);
            // A parameter entity may declare what follows it differently, so expat leaves
            // later defaults unread.
            if (!after_param_ref_ && !literal_ok(tok, false, false)) return false;
        }
    }

    // <!ENTITY [%] name ("value" | external-id [NDATA name])>, NDATA only for general entities.
    bool entity_decl(std::size_t& p) {
        Token tok = decl_token(p);
        const bool parameter = tok.kind == Tok::Percent;
        if (parameter) tok = decl_token(p);
        if (tok.kind != Tok::Name) return unexpected(tok);
        tok = decl_token(p);
        if (tok.kind == Tok::Literal) return literal_ok(tok, false, true) && close_decl(p);
        if (tok.kind != Tok::Name || (word(tok) != "SYSTEM" && word(tok) != "PUBLIC")) return unexpected(tok);
        Token after;
        if (!external_id(tok, p, false, after)) return false;
        if (!parameter && after.kind == Tok::Name && word(after) == "NDATA") {
            tok = decl_token(p);
            if (tok.kind != Tok::Name) return unexpected(tok);
            return close_decl(p);
        }
        return after.kind == Tok::Close || unexpected(after);
    }

    // <!NOTATION name (SYSTEM "system" | PUBLIC "public" ["system"])>
    bool notation_decl(std::size_t& p) {
        Token tok = decl_token(p);
        if (tok.kind != Tok::Name) return unexpected(tok);
        tok = decl_token(p);
        if (tok.kind != Tok::Name || (word(tok) != "SYSTEM" && word(tok) != "PUBLIC")) return unexpected(tok);
        Token after;
        if (!external_id(tok, p, true, after)) return false;
        return after.kind == Tok::Close || unexpected(after);
    }

    std::string_view t_;
    std::size_t construct_ = 0;
    std::size_t token_start_ = 0;
    Walk walk_;
    std::size_t question_ = 0, bang_ = 0;  // the next "?" and "!" markup_open() found
    bool external_subset_ = false;
    bool after_param_ref_ = false;
    Fault fault_;
};

}  // namespace

Fault check(std::string_view text) { return Checker(text).run(); }

}  // namespace corvault::core::xml::markup
