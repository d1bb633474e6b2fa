// An iconv conversion descriptor, closed when its holder goes, so that no return or exception
// between opening and closing leaks one.
#pragma once

#include <iconv.h>
#include <string>

namespace trovalen {

class TIconv {
public:
    // The conversion to `to` from `from` (iconv's names, with suffixes such as //TRANSLIT);
    // Ok() tells whether iconv knows both.
    TIconv(const std::string& to, const std::string& from)
        : FCd(iconv_open(to.c_str(), from.c_str())) {}
    ~TIconv() {
        if (Ok())
            iconv_close(FCd);
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;

    bool Ok() const { return FCd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return FCd; }

    // Whether iconv converts to `to` from `from`.
    static bool Knows(const std::string& to, const std::string& from) {
        return TIconv(to, from).Ok();
    }

private:
    iconv_t FCd;
};

} // namespace trovalen
