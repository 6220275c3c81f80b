#include "vector_cases.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace corvault::test {
namespace {

class Parser {
public:
    explicit Parser(std::string_view s) : s_(s) {}

    Json document() {
        Json value = parse_value();
        skip_space();
        if (i_ != s_.size()) fail("text after the value");
        return value;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(i_));
    }
    void skip_space() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
    }
    bool take(std::string_view word) {
        if (s_.substr(i_, word.size()) != word) return false;
        i_ += word.size();
        return true;
    }
    void expect(char c) {
        skip_space();
        if (i_ >= s_.size() || s_[i_] != c) fail(std::string("expected '") + c + "'");
        ++i_;
    }

    Json parse_value() {
        skip_space();
        Json v;
        if (i_ >= s_.size()) fail("missing value");
        const char c = s_[i_];
        if (c == '"') {
            v.kind = Json::Kind::String;
            v.text = parse_string();
        } else if (c == '[') {
            v.kind = Json::Kind::Array;
            ++i_;
            skip_space();
            if (!take("]")) {
                do v.items.push_back(parse_value());
                while (skip_space(), take(","));
                expect(']');
            }
        } else if (c == '{') {
            v.kind = Json::Kind::Object;
            ++i_;
            skip_space();
            if (!take("}")) {
                do {
                    skip_space();
                    std::string name = parse_string();
                    expect(':');
                    v.members.emplace_back(std::move(name), parse_value());
                } while (skip_space(), take(","));
                expect('}');
            }
        } else if (take("true")) {
            v.kind = Json::Kind::Bool;
            v.boolean = true;
        } else if (take("false")) {
            v.kind = Json::Kind::Bool;
        } else if (take("null")) {
            v.kind = Json::Kind::Null;
        } else {
            fail("unsupported value (numbers are written as text)");
        }
        return v;
    }

    unsigned hex4() {
        if (i_ + 4 > s_.size()) fail("short \\u escape");
        unsigned code = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = s_[i_++];
            code <<= 4;
            if (h >= '0' && h <= '9')
                code |= h - '0';
            else if (h >= 'a' && h <= 'f')
                code |= h - 'a' + 10;
            else if (h >= 'A' && h <= 'F')
                code |= h - 'A' + 10;
            else
                fail("bad \\u escape");
        }
        return code;
    }

    static void append_utf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xc0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3f));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xe0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (code & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (code & 0x3f));
        }
    }

    std::string parse_string() {
        if (i_ >= s_.size() || s_[i_] != '"') fail("expected text");
        ++i_;
        std::string out;
        while (true) {
            if (i_ >= s_.size()) fail("unterminated text");
            const char c = s_[i_++];
            if (c == '"') return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i_ >= s_.size()) fail("unterminated escape");
            const char e = s_[i_++];
            switch (e) {
                case '"':
                case '\\':
                case '/': out += e; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    unsigned code = hex4();
                    if (code >= 0xd800 && code < 0xdc00 && take("\\u")) {
                        const unsigned low = hex4();
                        code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
                    }
                    append_utf8(out, code);
                    break;
                }
                default: fail("bad escape");
            }
        }
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    std::string out = text.str();
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

}  // namespace

Json Json::parse(std::string_view document) { return Parser(document).document(); }

const Json* Json::find(std::string_view name) const {
    for (const auto& [key, value] : members) {
        if (key == name) return &value;
    }
    return nullptr;
}

const Json& Json::at(std::string_view name) const {
    const Json* found = find(name);
    if (found == nullptr) throw std::runtime_error("input.json has no \"" + std::string(name) + "\"");
    return *found;
}

std::string Json::str(std::string_view name, std::string_view fallback) const {
    const Json* found = find(name);
    if (found == nullptr) return std::string(fallback);
    if (found->kind != Kind::String) throw std::runtime_error("\"" + std::string(name) + "\" is not text");
    return found->text;
}

bool Json::flag(std::string_view name) const {
    const Json* found = find(name);
    return found != nullptr && found->kind == Kind::Bool && found->boolean;
}

std::vector<std::pair<std::string, std::string>> Json::pairs(std::string_view name) const {
    std::vector<std::pair<std::string, std::string>> out;
    const Json* found = find(name);
    if (found == nullptr) return out;
    for (const Json& item : found->items) {
        if (item.items.size() != 2) throw std::runtime_error("\"" + std::string(name) + "\" holds a non-pair");
        out.emplace_back(item.items[0].text, item.items[1].text);
    }
    return out;
}

bool VectorCase::has(std::string_view name) const { return std::filesystem::exists(dir / std::string(name)); }
std::string VectorCase::file(std::string_view name) const { return read_text(dir / std::string(name)); }

std::vector<VectorCase> vector_cases(std::string_view scheme) {
    std::vector<VectorCase> out;
    const std::filesystem::path root = std::filesystem::path(CORVAULT_VECTORS_DIR) / std::string(scheme);
    try {
        for (const auto& entry : std::filesystem::directory_iterator(root)) {
            if (!entry.is_directory()) continue;
            VectorCase c{std::string(scheme), entry.path().filename().string(), entry.path(), {}, {}};
            try {
                c.input = Json::parse(read_text(entry.path() / "input.json"));
            } catch (const std::exception& e) {
                c.error = e.what();
            }
            out.push_back(std::move(c));
        }
    } catch (const std::exception& e) {
        out.push_back(VectorCase{std::string(scheme), "unreadable", root, {}, e.what()});
    }
    if (out.empty()) out.push_back(VectorCase{std::string(scheme), "empty", root, {}, "no case folder"});
    std::sort(out.begin(), out.end(), [](const VectorCase& a, const VectorCase& b) { return a.name < b.name; });
    return out;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string test_name(const VectorCase& c) {
    std::string out = c.name;
    for (char& ch : out) {
        const bool keep = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
        if (!keep) ch = '_';
    }
    return out;
}

}  // namespace corvault::test
