// Text for the host on POSIX: UTF-8 re-encoded in the codeset of the process's current locale
// (nl_langinfo(CODESET)) with iconv. A process that never called setlocale runs in the "C" locale,
// whose codeset is ASCII (glibc names it ANSI_X3.4-1968): there no text with characters above
// U+007F can be encoded, the conversion fails and callers hand the text on unchanged, in UTF-8.
#include <errno.h>
#include <iconv.h>
#include <langinfo.h>

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace zb::platform {
namespace {

// One converter, kept for the codeset it was opened for and reopened when the locale changes.
// Exports run one at a time, so the cache needs no lock.
class Converter {
  public:
    ~Converter() { Close(); }

    iconv_t For(const char* codeset) {
        if (handle_ != kNone && codeset_ == codeset) {
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
            return handle_;
        }
        Close();
        handle_ = iconv_open(codeset, "UTF-8");
        if (handle_ != kNone) codeset_ = codeset;
        return handle_;
    }

    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

  private:
    void Close() {
        if (handle_ != kNone) iconv_close(handle_);
        handle_ = kNone;
        codeset_.clear();
    }

    iconv_t handle_ = kNone;
    std::string codeset_;
};

Converter& TheConverter() {
    static Converter converter;
    return converter;
}

// Runs the rest of a conversion into a throw-away buffer: true when every remaining character
// can be encoded.
bool RestEncodes(iconv_t cd, char* in, size_t inLeft) {
    char sink[256];
    while (inLeft > 0) {
        char* outPtr = sink;
        size_t outLeft = sizeof sink;
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) && errno != E2BIG) {
            return false;
        }
    }
    char* outPtr = sink;
    size_t outLeft = sizeof sink;
    return iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1);
}

}  // namespace

bool Utf8ToHostCodePage(const char* utf8, char* out, size_t outSize) {
    if (utf8 == nullptr || out == nullptr || outSize == 0 || !IsValidUtf8(utf8)) return false;
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || *codeset == '\0') return false;
    try {
        iconv_t cd = TheConverter().For(codeset);
        if (cd == Converter::kNone) return false;

        // iconv writes whole characters only: when the output runs out (E2BIG) what it wrote is
        // the longest prefix that fits in outSize - 1 bytes. The rest of the text must still be
        // encodable, so that whether a text is converted does not depend on the buffer size.
        char* in = const_cast<char*>(utf8);
        size_t inLeft = std::strlen(utf8);
        char* outPtr = out;
        size_t outLeft = outSize - 1;
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            if (errno != E2BIG || !RestEncodes(cd, in, inLeft)) return false;
        } else if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            // A stateful codeset could not write its closing shift sequence in the room left.
            return false;
        }
        *outPtr = '\0';
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace zb::platform
