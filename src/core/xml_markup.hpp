// What the tree parser under the XML reader skips without looking: the XML declaration, the
// document type declaration and its internal subset, and the targets of processing instructions.
// Checked here over the raw text as expat reads them, so that the reader refuses the same
// documents with the same reasons and places. Internal to the reader.
#pragma once

#include <cstddef>
#include <string_view>

namespace corvault::core::xml::markup {

struct Fault {
    int code = 0;
    std::size_t offset = std::string_view::npos;
    // Where the construct holding the fault starts. The tree parser skips these constructs
    // unread or reads them otherwise, so any fault it reports from here on is superseded.
    std::size_t construct = std::string_view::npos;
    explicit operator bool() const { return offset != std::string_view::npos; }
};

// The first fault of those kinds in `text`, if any.
Fault check(std::string_view text);

}  // namespace corvault::core::xml::markup
