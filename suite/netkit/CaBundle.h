#pragma once

#include <cstdlib>

namespace NetKit {

// A bundle of trusted authorities named in the environment, as other TLS programs read it: a
// company's own authority then takes the place of the system's bundle file.
inline const char* CaBundleFromEnvironment() {
    for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"})
        if (const char* value = std::getenv(name); value && *value)
            return value;
    return nullptr;
}

} // namespace NetKit
