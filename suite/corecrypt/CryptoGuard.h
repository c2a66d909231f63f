#pragma once

// The one way the engine calls into Crypto++: each call site runs inside Guard, where the
// library's exceptions become an error text. Only the engine's own sources include this.

#include <crypto++/cryptlib.h>

#include <new>
#include <stdexcept>
#include <string>

namespace corecrypt {

template <class F>
bool Guard(std::string& error, const char* what, F&& f) {
    try {
        f();
        return true;
    } catch (const CryptoPP::Exception& e) {
        error = std::string(what) + ": " + e.what();
    } catch (const std::bad_alloc&) {
        error = std::string(what) + ": out of memory";
    } catch (const std::exception& e) {
        error = std::string(what) + ": " + e.what();
    }
    return false;
}

} // namespace corecrypt
