#include "base/iconv_converter.h"

#include "base/errors.h"

namespace kestrova {

IconvConverter::IconvConverter(const char* to, const char* from) : handle_(iconv_open(to, from)) {
    if (handle_ == reinterpret_cast<iconv_t>(-1)) {
        throw Error(std::string("文字コードの変換を準備できませんでした。(") + from + " -> " + to +
                    ")");
    }
}

}  // namespace kestrova
