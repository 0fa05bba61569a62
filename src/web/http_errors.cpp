#include "web/http_errors.h"

namespace kestrova {

namespace {

std::string withUrl(std::string_view text, std::string_view url) {
    std::string message(text);
    message += '(';
    message += url;
    message += ')';
    return message;
}

/// What libcurl says, for the log: its error buffer or the text of its code.
std::string curlDetail(CURLcode code, std::string_view detail) {
    return "libcurl " + std::to_string(static_cast<int>(code)) + ": " +
           std::string(detail.empty() ? std::string_view(curl_easy_strerror(code)) : detail);
}

}  // namespace

std::string httpCreationErrorText() {
    return "libcurl の HTTP 通信オブジェクトの作成に失敗しました。\r\n"
           "libcurl ライブラリが存在しないか、正常にインストールされていない可能性があります。\r\n"
           "最新の libcurl ライブラリは、下記からダウンロード可能です。\r\n"
           "https://curl.se/libcurl/";
}

HttpError httpTimeoutError(std::string_view url) {
    return {HttpErrorKind::Timeout, withUrl("要求がタイムアウトしました。", url)};
}

namespace {

/// What the user reads about a failed transfer; libcurl's own words go to the log only.
HttpError japaneseError(CURLcode code, std::string_view url) {
    using enum HttpErrorKind;
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            return httpTimeoutError(url);
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return {NameNotResolved,
                    withUrl("サーバー名またはアドレスを解決できませんでした。", url)};
        case CURLE_COULDNT_CONNECT:
            return {CannotConnect, withUrl("サーバーに接続できませんでした。", url)};
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return {Tls,
                    withUrl("サーバー証明書を検証できませんでした。証明書が信頼されていないか、"
                            "無効です。",
                            url)};
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_USE_SSL_FAILED:
            return {Tls, withUrl("サーバーとの安全な接続を確立できませんでした。", url)};
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
            return {Transport, withUrl("サーバーからの応答が途中で途切れました。", url)};
        case CURLE_BAD_CONTENT_ENCODING:
            return {Transport,
                    withUrl("サーバーの応答を展開できませんでした。圧縮の形式が正しくありません。",
                            url)};
        case CURLE_GOT_NOTHING:
            return {Transport, withUrl("サーバーから応答がありませんでした。", url)};
        case CURLE_SEND_ERROR:
            return {Transport, withUrl("サーバーへの要求の送信に失敗しました。", url)};
        case CURLE_TOO_MANY_REDIRECTS:
            return {Transport, withUrl("リダイレクトの回数が上限を超えました。", url)};
        case CURLE_UNSUPPORTED_PROTOCOL:
            return {Transport, withUrl("許可されていないプロトコルの URL です。", url)};
        case CURLE_URL_MALFORMAT:
            return {Transport, withUrl("URL の形式が正しくありません。", url)};
        case CURLE_OUT_OF_MEMORY:
            return {Transport, withUrl("メモリが不足しています。", url)};
        default:
            return {Transport, withUrl("サーバーとの通信に失敗しました（libcurl エラー " +
                                           std::to_string(static_cast<int>(code)) + "）。",
                                       url)};
    }
}

}  // namespace

HttpError httpTransferError(CURLcode code, std::string_view url, std::string_view detail) {
    HttpError error = japaneseError(code, url);
    return {error.kind(), error.what(), curlDetail(code, detail)};
}

}  // namespace kestrova
