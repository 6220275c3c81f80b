#include "core/xml_writer.hpp"

namespace corvault::core::xml {

void append_escaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '\r': out += "&#13;"; break;
            default: out += c;
        }
    }
}

std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    append_escaped(out, text);
    return out;
}

std::string complete_multipart_body(const std::vector<std::string_view>& etags) {
    std::string body = "<CompleteMultipartUpload>";
    std::size_t part_number = 0;
    for (std::string_view etag : etags) {
        body.append("<Part><PartNumber>").append(std::to_string(++part_number)).append("</PartNumber><ETag>");
        append_escaped(body, etag);
        body += "</ETag></Part>";
    }
    body += "</CompleteMultipartUpload>";
    return body;
}

}  // namespace corvault::core::xml

namespace corvault::core::s3 {

std::string delete_objects_body(const std::vector<std::string_view>& keys) {
    std::string body = "<Delete><Quiet>false</Quiet>";
    for (std::string_view key : keys) {
        body += "<Object><Key>";
        xml::append_escaped(body, key);
        body += "</Key></Object>";
    }
    body += "</Delete>";
    return body;
}

std::string create_bucket_body(std::string_view region) {
    std::string body = "<CreateBucketConfiguration><LocationConstraint>";
    xml::append_escaped(body, region);
    body += "</LocationConstraint></CreateBucketConfiguration>";
    return body;
}

}  // namespace corvault::core::s3
