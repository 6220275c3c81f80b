#include "url.hpp"

#include <algorithm>
#include <stdexcept>

#include "core/encoding.hpp"

namespace corvault::core {
namespace {

bool is_scheme_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
           c == '.';
}

void remove_all(std::string& text, std::string_view what) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(what, pos)) != std::string::npos; pos = hit + what.size()) {
        out.append(text, pos, hit - pos);
    }
    out.append(text, pos, std::string::npos);
    text.swap(out);
}

// The first "/", "?" or "#" (or, with slash false, "?" or "#") of `url` from `pos`; its size when
// there is none. A plain loop: find_first_of calls memchr once for every character it passes.
std::size_t find_delimiter(std::string_view url, std::size_t pos, bool slash) {
    for (; pos < url.size(); ++pos) {
        const char c = url[pos];
        if (c == '?' || c == '#' || (slash && c == '/')) return pos;
    }
    return url.size();
}

// Where the path of a URL as this library builds it starts and ends: after the authority of a
// URL with a scheme, before its query or fragment.
std::pair<std::size_t, std::size_t> path_span(std::string_view url) {
    std::size_t start = 0;
    const std::size_t marker = url.find("://");
    if (marker != std::string_view::npos && find_delimiter(url, 0, true) >= marker) {
        start = find_delimiter(url, marker + 3, true);
    }
    return {start, find_delimiter(url, start, false)};
}

// Calls visit(offset, length) for each "." and ".." segment of `path`.
template <class Visit>
void each_dot_segment(std::string_view path, Visit&& visit) {
    std::size_t begin = 0;
    while (begin <= path.size()) {
        std::size_t end = path.find('/', begin);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view segment = path.substr(begin, end - begin);
        if (segment == "." || segment == "..") visit(begin, segment.size());
        begin = end + 1;
    }
}

}  // namespace

std::string request_target(std::string_view url) {
    const auto [start, path_end] = path_span(url);
    std::size_t end = url.find('#', path_end);
    if (end == std::string_view::npos) end = url.size();
    std::string target(url.substr(start, end - start));
    if (start == path_end) target.insert(0, "/");
    return target;
}

bool has_dot_segment(std::string_view url) {
    // A dot segment begins the URL or follows a "/": nearly every URL is settled by looking at
    // the few dots it holds, without finding where its path lies.
    bool candidate = false;
    for (std::size_t dot = url.find('.'); dot != std::string_view::npos && !candidate; dot = url.find('.', dot + 1)) {
        candidate = dot == 0 || url[dot - 1] == '/';
    }
    if (!candidate) return false;
    const auto [start, end] = path_span(url);
    bool found = false;
    each_dot_segment(url.substr(start, end - start), [&](std::size_t, std::size_t) { found = true; });
    return found;
}

void append_escaping_dot_segments(std::string& out, std::string_view path) {
    // Most paths hold no "." at all, and so no dot segment either.
    if (path.find('.') == std::string_view::npos) {
        out.append(path);
        return;
    }
    std::size_t copied = 0;
    each_dot_segment(path, [&](std::size_t offset, std::size_t length) {
        out.append(path, copied, offset - copied);
        out.append(length == 1 ? "%2E" : "%2E%2E");
        copied = offset + length;
    });
    out.append(path.substr(copied));
}

std::string escape_dot_segments(std::string_view url) {
    const auto [start, end] = path_span(url);
    std::string out;
    out.reserve(url.size() + 8);
    out.append(url.substr(0, start));
    append_escaping_dot_segments(out, url.substr(start, end - start));
    out.append(url.substr(end));
    return out;
}

void escape_dot_segments_in_place(std::string& url) {
    if (has_dot_segment(url)) url = escape_dot_segments(url);
}

UrlParts split_url(std::string_view input) {
    // Leading C0 controls and blanks go, and tabs and line breaks anywhere, as urlsplit does.
    std::size_t lead = 0;
    while (lead < input.size() && static_cast<unsigned char>(input[lead]) <= 0x20) ++lead;
    std::string url(input.substr(lead));
    if (url.find_first_of("\t\r\n") != std::string::npos) {
        url.erase(std::remove_if(url.begin(), url.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }),
                  url.end());
    }

    UrlParts parts;
    std::string_view rest = url;
    std::size_t colon = rest.find(':');
    if (colon != std::string_view::npos && colon > 0 &&
        ((rest[0] >= 'a' && rest[0] <= 'z') || (rest[0] >= 'A' && rest[0] <= 'Z'))) {
        bool all_scheme = true;
        for (std::size_t i = 0; i < colon; ++i) all_scheme = all_scheme && is_scheme_char(rest[i]);
        if (all_scheme) {
            for (std::size_t i = 0; i < colon; ++i) {
                char c = rest[i];
                parts.scheme += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            }
            rest.remove_prefix(colon + 1);
        }
    }
    if (rest.substr(0, 2) == "//") {
        std::size_t end = rest.find_first_of("/?#", 2);
        if (end == std::string_view::npos) end = rest.size();
        parts.netloc = std::string(rest.substr(2, end - 2));
        rest.remove_prefix(end);
        bool open = parts.netloc.find('[') != std::string::npos;
        bool close = parts.netloc.find(']') != std::string::npos;
        if (open != close) throw std::invalid_argument("Invalid IPv6 URL");
    }
    std::size_t hash = rest.find('#');
    if (hash != std::string_view::npos) {
        parts.fragment = std::string(rest.substr(hash + 1));
        rest = rest.substr(0, hash);
    }
    std::size_t question = rest.find('?');
    if (question != std::string_view::npos) {
        parts.query = std::string(rest.substr(question + 1));
        rest = rest.substr(0, question);
    }
    parts.path = std::string(rest);
    return parts;
}

void append_query(std::string& url, const std::vector<std::pair<std::string_view, std::string_view>>& pairs) {
    char separator = '?';
    for (const auto& [name, value] : pairs) {
        url += separator;
        separator = '&';
        percent_encode_append(url, name);
        url += '=';
        percent_encode_append(url, value);
    }
}

std::string strip_scheme_markers(std::string_view endpoint) {
    std::string host(endpoint);
    remove_all(host, "https://");
    remove_all(host, "http://");
    return host;
}

std::string_view scheme_prefix(std::string_view endpoint) {
    std::size_t pos = endpoint.find("://");
    return pos == std::string_view::npos ? endpoint : endpoint.substr(0, pos);
}

std::string_view strip_trailing_slashes(std::string_view text) {
    while (!text.empty() && text.back() == '/') text.remove_suffix(1);
    return text;
}

}  // namespace corvault::core
