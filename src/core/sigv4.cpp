#include "core/sigv4.hpp"

#include <algorithm>

#include "core/encoding.hpp"
#include "core/whitespace.hpp"

namespace corvault::core::sigv4 {

std::string credential_scope(const Scheme& scheme, const Scope& scope) {
    std::string out;
    out.reserve(scope.date_stamp.size() + scope.region.size() + scope.service.size() + scheme.terminator.size() + 3);
    out.append(scope.date_stamp).append("/").append(scope.region).append("/").append(scope.service).append("/");
    out.append(scheme.terminator);
    return out;
}

std::string canonical_uri(const Scheme& scheme, bool virtual_host, std::string_view bucket, std::string_view key) {
    std::string out = "/";
    if (!virtual_host || scheme.uri_always_names_bucket) out.append(bucket).append("/");
    percent_encode_append(out, key, "/");
    return out;
}

namespace {

// Three-way comparison of the percent-encoded forms of `a` and `b`, without building them.
int compare_encoded(std::string_view a, std::string_view b) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::size_t i = 0, k = 0;
    while (i < a.size() && k < b.size()) {
        auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[k]);
        const bool plain_a = is_unreserved(ca), plain_b = is_unreserved(cb);
        if (plain_a && plain_b) {
            if (ca != cb) return ca < cb ? -1 : 1;
            ++i, ++k;
            continue;
        }
        const unsigned char ea[3] = {plain_a ? ca : static_cast<unsigned char>('%'),
                                     static_cast<unsigned char>(kHex[ca >> 4]),
                                     static_cast<unsigned char>(kHex[ca & 15])};
        const unsigned char eb[3] = {plain_b ? cb : static_cast<unsigned char>('%'),
                                     static_cast<unsigned char>(kHex[cb >> 4]),
                                     static_cast<unsigned char>(kHex[cb & 15])};
        if (ea[0] != eb[0]) return ea[0] < eb[0] ? -1 : 1;
        // Both escaped (a plain character never equals "%"): compare the hexadecimal digits.
        if (ea[1] != eb[1]) return ea[1] < eb[1] ? -1 : 1;
        if (ea[2] != eb[2]) return ea[2] < eb[2] ? -1 : 1;
        ++i, ++k;
    }
    if (i < a.size()) return 1;
    return k < b.size() ? -1 : 0;
}

// Appends the canonical query: pairs sorted by encoded name (then value), as the services sort
// them: "%2F" sorts before "-", while "/" sorts after.
void append_canonical_query(std::string& out, const Scheme& scheme, std::vector<QueryParam> params) {
    std::sort(params.begin(), params.end(), [](const QueryParam& x, const QueryParam& y) {
        int by_name = compare_encoded(x.first, y.first);
        return by_name != 0 ? by_name < 0 : compare_encoded(x.second, y.second) < 0;
    });
    bool first = true;
    for (const auto& [name, value] : params) {
        if (!first) out += '&';
        first = false;
        percent_encode_append(out, name);
        if (value.empty() && scheme.bare_empty_query_value) continue;
        out += '=';
        percent_encode_append(out, value);
    }
}

// Appends the canonical form of a header value: trimmed, and for Folded inner white-space runs
// folded to a blank.
void append_canonical_value(std::string& out, const Scheme& scheme, std::string_view value) {
    // Most values (hosts, dates, hashes) hold neither a control character, a blank nor a byte
    // above ASCII, and are then their own canonical form.
    if (std::all_of(value.begin(), value.end(), [](char c) { return c > ' ' && c < '\x7f'; })) {
        out.append(value);
        return;
    }
    if (scheme.header_value == HeaderValue::Trimmed) {
        out.append(trim_space(value));
        return;
    }
    bool first = true;
    for (std::size_t i = 0; i < value.size();) {
        std::size_t word = i;
        while (word < value.size() && space_length_at(value, word) == 0) ++word;
        if (word > i) {
            if (!first) out += ' ';
            out.append(value, i, word - i);
            first = false;
        }
        i = word;
        while (i < value.size()) {
            std::size_t n = space_length_at(value, i);
            if (n == 0) break;
            i += n;
        }
    }
}

}  // namespace

std::string canonical_query(const Scheme& scheme, std::vector<QueryParam> params) {
    std::string out;
    append_canonical_query(out, scheme, std::move(params));
    return out;
}

bool signs_header(const Scheme& scheme, std::string_view name) {
    if (name.substr(0, scheme.header_prefix.size()) == scheme.header_prefix) return true;
    for (std::string_view listed : scheme.header_names) {
        if (!listed.empty() && name == listed) return true;
    }
    return false;
}

std::string canonical_header_value(const Scheme& scheme, std::string_view value) {
    std::string out;
    out.reserve(value.size());
    append_canonical_value(out, scheme, value);
    return out;
}

CanonicalHeaders canonical_headers(const Scheme& scheme, const std::vector<Header>& headers) {
    // One order for both the lines and the name list: by name, then (for a name given twice in
    // different letter cases) by canonical value.
    std::vector<const Header*> order;
    order.reserve(headers.size());
    for (const Header& h : headers) order.push_back(&h);
    std::sort(order.begin(), order.end(), [&](const Header* a, const Header* b) {
        if (a->first != b->first) return a->first < b->first;
        return canonical_header_value(scheme, a->second) < canonical_header_value(scheme, b->second);
    });
    CanonicalHeaders out;
    std::size_t size = 0;
    for (const Header& h : headers) size += h.first.size() + h.second.size() + 2;
    out.lines.reserve(size);
    out.signed_headers.reserve(size);
    for (const Header* h : order) {
        out.lines.append(h->first).append(":");
        append_canonical_value(out.lines, scheme, h->second);
        out.lines += '\n';
        if (!out.signed_headers.empty()) out.signed_headers += ';';
        out.signed_headers += h->first;
    }
    return out;
}

std::string canonical_request(const Scheme& scheme, std::string_view method, std::string_view canonical_uri,
                              std::string_view canonical_query, const CanonicalHeaders& headers,
                              std::string_view payload_hash) {
    const std::string_view names = scheme.lists_signed_headers ? std::string_view(headers.signed_headers) : "";
    std::string out;
    out.reserve(method.size() + canonical_uri.size() + canonical_query.size() + headers.lines.size() + names.size() +
                payload_hash.size() + 8);
    out.append(method).append("\n").append(canonical_uri).append("\n").append(canonical_query).append("\n");
    out.append(headers.lines).append("\n").append(names).append("\n").append(payload_hash);
    return out;
}

namespace {

std::string string_to_sign_for(const Scheme& scheme, std::string_view request_time, std::string_view scope,
                               std::string_view canonical_request) {
    std::string out;
    out.reserve(scheme.algorithm.size() + request_time.size() + scope.size() + 67);
    out.append(scheme.algorithm).append("\n").append(request_time).append("\n").append(scope).append("\n");
    out.append(hex_lower(sha256(canonical_request)));
    return out;
}

}  // namespace

std::string string_to_sign(const Scheme& scheme, std::string_view request_time, const Scope& scope,
                           std::string_view canonical_request) {
    return string_to_sign_for(scheme, request_time, credential_scope(scheme, scope), canonical_request);
}

Sha256Digest signing_key(const Scheme& scheme, std::string_view secret_key, const Scope& scope) {
    // The key changes once a day per secret and region, and deriving it costs four HMACs, more
    // than the rest of a signature: the last one derived is kept, per thread. Two schemes derive
    // different keys from the same secret and scope, so the scheme's names are part of the match.
    struct Derived {
        std::string prefix, terminator, secret, date, region, service;
        Sha256Digest key{};
        bool valid = false;
    };
    static thread_local Derived last;
    if (last.valid && last.date == scope.date_stamp && last.region == scope.region && last.service == scope.service &&
        last.secret == secret_key && last.prefix == scheme.key_prefix && last.terminator == scheme.terminator) {
        return last.key;
    }
    std::string first_key;
    first_key.reserve(scheme.key_prefix.size() + secret_key.size());
    first_key.append(scheme.key_prefix).append(secret_key);
    Sha256Digest k_date = hmac_sha256(first_key, scope.date_stamp);
    Sha256Digest k_region = hmac_sha256(as_bytes(k_date), scope.region);
    Sha256Digest k_service = hmac_sha256(as_bytes(k_region), scope.service);
    Sha256Digest k_signing = hmac_sha256(as_bytes(k_service), scheme.terminator);
    last.prefix.assign(scheme.key_prefix);
    last.terminator.assign(scheme.terminator);
    last.secret.assign(secret_key);
    last.date.assign(scope.date_stamp);
    last.region.assign(scope.region);
    last.service.assign(scope.service);
    last.key = k_signing;
    last.valid = true;
    return k_signing;
}

std::string signature(const Sha256Digest& key, std::string_view string_to_sign) {
    return hex_lower(hmac_sha256(as_bytes(key), string_to_sign));
}

namespace {

// The scope text is needed twice (string to sign and Credential field): built once.
Steps steps_with_scope(const Scheme& scheme, const HeaderSigning& r, std::string_view scope) {
    Steps s;
    s.headers = canonical_headers(scheme, r.headers);
    s.canonical_request = canonical_request(scheme, r.method, r.canonical_uri, canonical_query(scheme, r.query),
                                            s.headers, r.payload_hash);
    s.string_to_sign = string_to_sign_for(scheme, r.request_time, scope, s.canonical_request);
    s.signature = signature(signing_key(scheme, r.credentials.secret_key, r.scope), s.string_to_sign);
    return s;
}

}  // namespace

Steps signing_steps(const Scheme& scheme, const HeaderSigning& request) {
    return steps_with_scope(scheme, request, credential_scope(scheme, request.scope));
}

std::string authorization(const Scheme& scheme, const HeaderSigning& r) {
    const std::string scope = credential_scope(scheme, r.scope);
    const Steps s = steps_with_scope(scheme, r, scope);
    const std::string_view sep = scheme.field_separator;
    std::string out;
    out.reserve(scheme.algorithm.size() + r.credentials.access_key.size() + scope.size() +
                s.headers.signed_headers.size() + s.signature.size() + 48);
    out.append(scheme.algorithm).append(" Credential=").append(r.credentials.access_key).append("/").append(scope);
    if (scheme.lists_signed_headers) out.append(sep).append("SignedHeaders=").append(s.headers.signed_headers);
    out.append(sep).append("Signature=").append(s.signature);
    return out;
}

std::string presigned_url(const QuerySigning& r) {
    const Scheme& scheme = kS3;
    const std::string scope = credential_scope(scheme, r.scope);
    std::string credential;
    credential.reserve(r.credentials.access_key.size() + 1 + scope.size());
    credential.append(r.credentials.access_key).append("/").append(scope);
    std::vector<QueryParam> params;
    params.reserve(5 + r.extra.size());
    params.insert(params.end(), {{"X-Amz-Algorithm", scheme.algorithm},
                                 {"X-Amz-Credential", credential},
                                 {"X-Amz-Date", r.request_time},
                                 {"X-Amz-Expires", r.expires},
                                 {"X-Amz-SignedHeaders", "host"}});
    for (const QueryParam& extra : r.extra) {
        auto same = std::find_if(params.begin(), params.begin() + 5,
                                 [&](const QueryParam& p) { return p.first == extra.first; });
        if (same != params.begin() + 5) {
            same->second = extra.second;
        } else {
            params.push_back(extra);
        }
    }
    // The canonical query is written once, into the URL, and signed from there.
    std::string out;
    out.reserve(r.url.size() + 256 + 64 * r.extra.size());
    out.append(r.url).append("?");
    const std::size_t query_start = out.size();
    append_canonical_query(out, scheme, std::move(params));
    const std::string_view query = std::string_view(out).substr(query_start);

    // Host is the one signed header: its line is written directly, without a sort.
    CanonicalHeaders host;
    host.lines.reserve(r.host.size() + 6);
    host.lines.append("host:");
    append_canonical_value(host.lines, scheme, r.host);
    host.lines += '\n';
    host.signed_headers = "host";
    const std::string request = canonical_request(scheme, r.method, r.canonical_uri, query, host, kUnsignedPayload);
    const std::string sig = signature(signing_key(scheme, r.credentials.secret_key, r.scope),
                                      string_to_sign_for(scheme, r.request_time, scope, request));
    out.append("&X-Amz-Signature=").append(sig);
    return out;
}

}  // namespace corvault::core::sigv4
