// libcurl, loaded on first use. Linked the usual way, libcurl and the two dozen libraries
// it depends on (TLS, Kerberos, LDAP, SSH...) are mapped, relocated and initialised before
// main() runs, which costs a large share of the program's start-up, while the first web
// request comes from the update check a second later. These definitions stand in for the
// libcurl functions the core calls and forward to the real ones, found in the library the
// first time any of them runs. A curl function not listed here fails to link: add it.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include "platform/curllibrary.h"

#include <QLibrary>

#include <cstdarg>

namespace {

QLibrary& libcurl() {
    // The runtime library of the interface version the headers describe. Loaded once and
    // kept for the life of the process; every symbol resolved at load, so a broken library
    // fails here and not in the middle of a request.
    static QLibrary library(QString::fromLatin1(platform::curlLibrary().name),
                            platform::curlLibrary().version);
    static const bool loaded = [] {
        library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        return library.load();
    }();
    static_cast<void>(loaded);
    return library;
}

template <typename Function> Function* real(const char* name) {
    return reinterpret_cast<Function*>(libcurl().resolve(name));
}

// The real function of the same name, looked up once.
#define REAL(name)                                                                                 \
    static auto* const realFunction = real<decltype(name)>(#name);                                 \
    static_cast<void>(0)

} // namespace

extern "C" {

CURLcode curl_global_init(long flags) {
    REAL(curl_global_init);
    return realFunction ? realFunction(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init(void) {
    REAL(curl_easy_init);
    return realFunction ? realFunction() : nullptr;
}

void curl_easy_cleanup(CURL* handle) {
    REAL(curl_easy_cleanup);
    if (realFunction)
        realFunction(handle);
}

CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
    REAL(curl_easy_setopt);
    if (!realFunction)
        return CURLE_FAILED_INIT;
    // The option's number range tells the type of its one argument, as libcurl reads it.
    va_list arguments;
    va_start(arguments, option);
    CURLcode result;
    if (option < CURLOPTTYPE_OBJECTPOINT) {
        result = realFunction(handle, option, va_arg(arguments, long));
    } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
        result = realFunction(handle, option, va_arg(arguments, void*));
    } else if (option < CURLOPTTYPE_OFF_T) {
        using AnyFunction = void (*)();
        result = realFunction(handle, option, va_arg(arguments, AnyFunction));
    } else if (option < CURLOPTTYPE_BLOB) {
        result = realFunction(handle, option, va_arg(arguments, curl_off_t));
    } else {
        result = realFunction(handle, option, va_arg(arguments, void*));
    }
    va_end(arguments);
    return result;
}

CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
    REAL(curl_easy_getinfo);
    if (!realFunction)
        return CURLE_FAILED_INIT;
    // Every piece of information is written through one pointer.
    va_list arguments;
    va_start(arguments, info);
    const CURLcode result = realFunction(handle, info, va_arg(arguments, void*));
    va_end(arguments);
    return result;
}

const char* curl_easy_strerror(CURLcode code) {
    REAL(curl_easy_strerror);
    return realFunction ? realFunction(code) : platform::curlLibrary().notLoaded;
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
    REAL(curl_slist_append);
    return realFunction ? realFunction(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
    REAL(curl_slist_free_all);
    if (realFunction)
        realFunction(list);
}

CURLM* curl_multi_init(void) {
    REAL(curl_multi_init);
    return realFunction ? realFunction() : nullptr;
}

CURLMcode curl_multi_cleanup(CURLM* multi) {
    REAL(curl_multi_cleanup);
    return realFunction ? realFunction(multi) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_add_handle(CURLM* multi, CURL* easy) {
    REAL(curl_multi_add_handle);
    return realFunction ? realFunction(multi, easy) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* easy) {
    REAL(curl_multi_remove_handle);
    return realFunction ? realFunction(multi, easy) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_perform(CURLM* multi, int* running) {
    REAL(curl_multi_perform);
    return realFunction ? realFunction(multi, running) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd extraFds[], unsigned int extraCount,
                          int timeoutMs, int* ready) {
    REAL(curl_multi_poll);
    return realFunction ? realFunction(multi, extraFds, extraCount, timeoutMs, ready)
                        : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_wakeup(CURLM* multi) {
    REAL(curl_multi_wakeup);
    return realFunction ? realFunction(multi) : CURLM_INTERNAL_ERROR;
}

CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
    REAL(curl_multi_info_read);
    return realFunction ? realFunction(multi, left) : nullptr;
}

const char* curl_multi_strerror(CURLMcode code) {
    REAL(curl_multi_strerror);
    return realFunction ? realFunction(code) : platform::curlLibrary().notLoaded;
}

} // extern "C"
