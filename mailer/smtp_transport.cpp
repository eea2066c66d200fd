#include "mailer/smtp_transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "common/files.h"
#include "common/text_util.h"

namespace qv::mailer {
namespace {

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

bool Append(Slist& list, const std::string& text) {
  curl_slist* head = curl_slist_append(list.get(), text.c_str());
  if (head == nullptr) return false;  // the old list is still whole and still ours
  static_cast<void>(list.release());
  list.reset(head);
  return true;
}

struct Upload {
  std::string_view rest;
};

size_t ReadMessage(char* buffer, size_t size, size_t count, void* user) {
  auto* upload = static_cast<Upload*>(user);
  const size_t n = std::min(size * count, upload->rest.size());
  upload->rest.copy(buffer, n);
  upload->rest.remove_prefix(n);
  return n;
}

// Commands and replies go to the trace line by line; data and TLS records
// are not looked at.
int Observe(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN && type != CURLINFO_HEADER_OUT) return 0;
  auto* trace = static_cast<SessionTrace*>(user);
  std::string_view text(data, size);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end == std::string_view::npos ? text.size() : end + 1);
    text.remove_prefix(line.size());
    if (type == CURLINFO_HEADER_IN) {
      trace->OnReceived(line);
    } else {
      trace->OnSent(line);
    }
  }
  return 0;
}

// Called once the connection is ready (greeting, EHLO, STARTTLS and AUTH
// done) and before MAIL FROM. libcurl skips AUTH when the server offers none;
// a mail that was meant to go out authenticated stops here instead.
int RequireAuthentication(void* user, char*, char*, int, int) {
  const auto* trace = static_cast<const SessionTrace*>(user);
  return trace->Authenticated() ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
}

std::string Url(const MailSettings& s, std::string_view helloName) {
  std::string host = WideToUtf8(s.server);
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  const char* scheme = s.security == Security::Tls ? "smtps://" : "smtp://";
  return scheme + host + ":" + std::to_string(s.port) + "/" + std::string(helloName);
}

struct Failure {
  CURLcode code;
};

void Set(CURL* h, CURLoption option, long value) {
  if (CURLcode rc = curl_easy_setopt(h, option, value); rc != CURLE_OK) throw Failure{rc};
}
void SetLarge(CURL* h, CURLoption option, curl_off_t value) {
  if (CURLcode rc = curl_easy_setopt(h, option, value); rc != CURLE_OK) throw Failure{rc};
}
template <class T>
void Set(CURL* h, CURLoption option, T* value) {
  if (CURLcode rc = curl_easy_setopt(h, option, value); rc != CURLE_OK) throw Failure{rc};
}

}  // namespace

CurlLibrary::CurlLibrary() : ok_(curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK) {}
CurlLibrary::~CurlLibrary() {
  if (ok_) curl_global_cleanup();
}

SendResult DeliverMessage(const MailSettings& s, std::string_view message, std::string_view helloName,
                       SessionTrace& trace) {
  EasyHandle easy(curl_easy_init());
  if (!easy) return {CURLE_FAILED_INIT, "libcurl could not start"};
  CURL* h = easy.get();

  const std::string url = Url(s, helloName);
  const std::string user = WideToUtf8(s.user);
  const std::string password = WideToUtf8(s.password);
  const std::string from = "<" + WideToUtf8(s.from.address) + ">";
  Slist recipients;
  for (const auto* list : {&s.to, &s.cc}) {
    for (const Mailbox& box : *list) {
      if (!Append(recipients, "<" + WideToUtf8(box.address) + ">")) return {CURLE_OUT_OF_MEMORY, "out of memory"};
    }
  }
  std::optional<std::string> caBundle;
  if (!s.caFile.empty()) {
    caBundle = ReadWholeFile(s.caFile);
    if (!caBundle) return {CURLE_SSL_CACERT_BADFILE, "cannot read CaFile"};
  }
  curl_blob caBlob{caBundle ? caBundle->data() : nullptr, caBundle ? caBundle->size() : 0,
                   CURL_BLOB_NOCOPY};

  Upload upload{message};
  char error[CURL_ERROR_SIZE] = "";
  const long timeoutMs = static_cast<long>(s.timeoutSeconds) * 1000;
  try {
    Set(h, CURLOPT_ERRORBUFFER, error);
    Set(h, CURLOPT_NOSIGNAL, 1L);
    Set(h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    Set(h, CURLOPT_URL, url.c_str());
    Set(h, CURLOPT_TIMEOUT_MS, timeoutMs);
    Set(h, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    Set(h, CURLOPT_USE_SSL, static_cast<long>(s.security == Security::None ? CURLUSESSL_NONE : CURLUSESSL_ALL));
    Set(h, CURLOPT_SSL_VERIFYPEER, s.verifyCertificate ? 1L : 0L);
    Set(h, CURLOPT_SSL_VERIFYHOST, s.verifyCertificate ? 2L : 0L);
    // Schannel: a certificate whose revocation cannot be looked up (an
    // offline company CA) is not refused for that alone.
    Set(h, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    if (caBundle) Set(h, CURLOPT_CAINFO_BLOB, &caBlob);
    if (!user.empty()) {
      Set(h, CURLOPT_USERNAME, user.c_str());
      Set(h, CURLOPT_PASSWORD, password.c_str());
      Set(h, CURLOPT_PREREQFUNCTION, &RequireAuthentication);
      Set(h, CURLOPT_PREREQDATA, &trace);
    }
    Set(h, CURLOPT_MAIL_FROM, from.c_str());
    Set(h, CURLOPT_MAIL_RCPT, recipients.get());
    Set(h, CURLOPT_UPLOAD, 1L);
    Set(h, CURLOPT_READFUNCTION, &ReadMessage);
    Set(h, CURLOPT_READDATA, &upload);
    SetLarge(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
    Set(h, CURLOPT_DEBUGFUNCTION, &Observe);
    Set(h, CURLOPT_DEBUGDATA, &trace);
    Set(h, CURLOPT_VERBOSE, 1L);
  } catch (const Failure& failure) {
    return {failure.code, curl_easy_strerror(failure.code)};
  }
  const CURLcode rc = curl_easy_perform(h);
  if (rc == CURLE_ABORTED_BY_CALLBACK && !user.empty() && !trace.Authenticated()) {
    return {CURLE_LOGIN_DENIED, "the server offers no authentication, but User is set"};
  }
  SendResult result{rc, ""};
  if (rc != CURLE_OK) result.error = error[0] != 0 ? error : curl_easy_strerror(rc);
  return result;
}

}  // namespace qv::mailer
