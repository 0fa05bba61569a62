#include "base/errors.h"

#include <cerrno>
#include <new>
#include <system_error>

namespace kestrova {

std::string fileErrorReason(const std::error_code& given) {
    const std::error_code error = asGenericError(given);
    if (error.category() != std::generic_category() && error.category() != std::system_category()) {
        return error.message();
    }
    switch (error.value()) {
        case ENOENT:
        case ENOTDIR:
            return "フォルダが見つかりません";
        case EACCES:
        case EPERM:
            return "アクセスが拒否されました";
        case EROFS:
            return "読み取り専用のドライブです";
        case ENOSPC:
#ifdef EDQUOT  // no disk quotas in Windows' C runtime
        case EDQUOT:
#endif
            return "ディスクの空き容量が足りません";
        case EFBIG:
            return "ファイルサイズの上限を超えました";
        case EISDIR:
            return "同じ名前のフォルダがあります";
        case EEXIST:
            return "同じ名前のファイルがあります";
        case ENOTEMPTY:
            return "フォルダが空ではありません";
        case ENOTSUP:
            return "通常のファイルではありません";
        case ELOOP:
            return "シンボリックリンクは使えません";
        case ENAMETOOLONG:
            return "名前が長すぎます";
        case EIO:
            return "ディスクの読み書きでエラーが発生しました";
        case EMFILE:
        case ENFILE:
            return "開いているファイルが多すぎます";
        case EBUSY:
        case ETXTBSY:
            return "ファイルが使用中です";
        case ENOMEM:
            return "メモリが不足しています";
        case EINVAL:
            return "名前または引数が正しくありません";
        default:
            return "システムエラーが発生しました（エラー番号 " + std::to_string(error.value()) +
                   "）";
    }
}

std::string describeError(const std::exception& error) {
    if (dynamic_cast<const Error*>(&error) != nullptr) {
        return error.what();
    }
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        return "メモリが不足しています。";
    }
    if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
        return fileErrorReason(system->code()) + "。";
    }
    // The library's own texts are English; keep them only as a detail.
    return std::string("予期しないエラーが発生しました。(") + error.what() + ")";
}

}  // namespace kestrova
