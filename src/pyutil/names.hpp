// Names that every client module looks up, grouped by what they name, so that "GET" the verb,
// get() of a mapping and the `head` operation never share a spelling in code. A module's own
// names sit beside their users in that module.
#pragma once

#include "pyutil/ref.hpp"

namespace pyutil {

// HTTP methods, as the first argument of a request.
namespace verb {
inline const Name kGet{"GET"};
inline const Name kPut{"PUT"};
inline const Name kPost{"POST"};
inline const Name kHead{"HEAD"};
inline const Name kDelete{"DELETE"};
}  // namespace verb

// Request and response header names, in the letter case the clients write them.
namespace header {
inline const Name kHost{"Host"};
inline const Name kDate{"Date"};
inline const Name kAuthorization{"Authorization"};
inline const Name kContentType{"Content-Type"};
inline const Name kContentMd5{"Content-MD5"};
inline const Name kContentLength{"Content-Length"};
inline const Name kRange{"Range"};
inline const Name kAcceptEncoding{"Accept-Encoding"};
}  // namespace header

// Keyword arguments of the clients' operations and of httpx's request().
namespace kw {
inline const Name kHeaders{"headers"};
inline const Name kParams{"params"};
inline const Name kTimeout{"timeout"};
inline const Name kContent{"content"};
inline const Name kData{"data"};
inline const Name kQueryParams{"query_params"};
inline const Name kBucket{"bucket"};
inline const Name kStream{"stream"};  // of _request and of httpx's send()
}  // namespace kw

// Attributes that every client sets in its constructor.
namespace attr {
inline const Name kAccessKey{"access_key"};
inline const Name kSecretKey{"secret_key"};
inline const Name kBucket{"bucket"};
inline const Name kRegion{"region"};
inline const Name kEndpoint{"endpoint"};
inline const Name kDomainUrl{"domain_url"};
inline const Name kDefaultTimeout{"default_timeout"};
inline const Name kClient{"_client"};  // the httpx client
}  // namespace attr

// Operations a client calls on itself, through the object, so that replaced methods are honoured.
namespace op {
inline const Name kRequest{"_request"};  // the signed request on one object
inline const Name kHead{"head"};
}  // namespace op

// Names of the httpx package and of its objects.
namespace httpx {
inline const Name kModule{"httpx"};       // the module global the client classes read at call time
inline const Name kClientType{"Client"};  // httpx.Client
inline const Name kRequest{"request"};    // Client.request(method, url, ...)
inline const Name kGet{"get"};            // Client.get(url, ...)
inline const Name kPost{"post"};          // Client.post(url, ...)

// A request sent with its body left unread: Client.send(Client.build_request(method, url, ...),
// stream=True).
inline const Name kBuildRequest{"build_request"};
inline const Name kSend{"send"};
}  // namespace httpx

// Methods of standard Python objects: mappings and files.
namespace method {
inline const Name kGet{"get"};  // mapping.get(name, default)
inline const Name kRead{"read"};
inline const Name kWrite{"write"};
inline const Name kClose{"close"};
}  // namespace method

}  // namespace pyutil
