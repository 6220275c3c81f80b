// The signature vectors of tests/vectors/<scheme>/<case>/, as the C++ suite reads them: the
// inputs from input.json, every other file as text (a final line feed is not part of the text).
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvault::test {

// The part of JSON the inputs use: objects, arrays, text, booleans and null. Numbers are
// refused: a value that is signed is written as text, exactly as it is signed.
struct Json {
    enum class Kind { Null, Bool, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    static Json parse(std::string_view document);   // throws std::runtime_error
    const Json* find(std::string_view name) const;  // null when absent
    const Json& at(std::string_view name) const;    // throws when absent
    // Text of a member; `fallback` when absent.
    std::string str(std::string_view name, std::string_view fallback = "") const;
    bool flag(std::string_view name) const;  // false when absent
    // An array of [name, value] pairs.
    std::vector<std::pair<std::string, std::string>> pairs(std::string_view name) const;
};

struct VectorCase {
    std::string scheme, name;
    std::filesystem::path dir;
    Json input;
    std::string error;  // why the folder could not be read; empty when it was

    bool has(std::string_view file) const;
    std::string file(std::string_view file) const;  // throws when absent
};

// The cases of one scheme folder, by name; one case holding `error` when the folder is unreadable.
std::vector<VectorCase> vector_cases(std::string_view scheme);
// Lower-case ASCII, as the signers' callers lower header names.
std::string lowered(std::string_view text);
// A test name made of the case name: letters and digits kept, everything else "_".
std::string test_name(const VectorCase& c);

inline std::ostream& operator<<(std::ostream& out, const VectorCase& c) { return out << c.scheme << "/" << c.name; }

}  // namespace corvault::test
