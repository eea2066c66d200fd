// The SMTP dialogue as the transport reports it, and what each ending means
// as an exit code.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "mailer/exit_code.h"
#include "mailer/message.h"
#include "mailer/session_trace.h"

namespace qv::mailer {
namespace {

class Dialogue : public ::testing::Test {
 protected:
  SessionTrace& Start(Security security) {
    trace_.emplace(security, L"alert", [this](const std::string& step) { steps_.push_back(step); });
    return *trace_;
  }
  void Client(const char* line) { trace_->OnSent(std::string(line) + "\r\n"); }
  void Server(const char* line) { trace_->OnReceived(std::string(line) + "\r\n"); }
  // Up to the AUTH exchange of a STARTTLS session, with a secret in the AUTH line.
  void StartTlsAndAuth() {
    Start(Security::StartTls);
    Server("220 mail.test ESMTP");
    Client("EHLO PC01");
    Server("250-mail.test");
    Server("250 STARTTLS");
    Client("STARTTLS");
    Server("220 Ready to start TLS");
    Client("EHLO PC01");
    Server("250-mail.test");
    Server("250 AUTH PLAIN LOGIN");
    Client(("AUTH PLAIN " + kCredentials).c_str());
    Server("235 2.7.0 Authentication successful");
  }
  std::string AllSteps() const {
    std::string all;
    for (const std::string& step : steps_) all += step + "\n";
    return all;
  }

  const std::string kCredentials = Base64(std::string("\0alert\0s3cret", 13));
  std::optional<SessionTrace> trace_;
  std::vector<std::string> steps_;
};

TEST_F(Dialogue, AcceptedStartTlsSessionShowsEachStepInOrder) {
  StartTlsAndAuth();
  Client("MAIL FROM:<a@b.test>");
  Server("250 OK");
  Client("RCPT TO:<c@d.test>");
  Server("250 OK");
  Client("DATA");
  Server("354 End data with <CR><LF>.<CR><LF>");
  Server("250 2.0.0 queued as 7");
  Client("QUIT");
  Server("221 Bye");
  EXPECT_EQ(AllSteps(),
            "Connected: 220 mail.test ESMTP\n"
            "TLS: established (STARTTLS)\n"
            "Authenticating as alert\n"
            "Authentication: accepted\n"
            "Accepted: 250 2.0.0 queued as 7\n");
  EXPECT_EQ(trace_->Phase(), SmtpPhase::Done);
  // Nothing that went out reaches the steps or the reply kept.
  EXPECT_EQ(AllSteps().find(kCredentials), std::string::npos);
  EXPECT_EQ(trace_->LastReply().find(kCredentials), std::string::npos);
}

TEST_F(Dialogue, ImplicitTlsIsUpBeforeTheGreeting) {
  Start(Security::Tls);
  Server("220 mail.test ESMTP");
  ASSERT_EQ(steps_.size(), 2u);
  EXPECT_EQ(steps_[0], "TLS: established");
}

TEST_F(Dialogue, RefusedStartTlsShowsNoTls) {
  Start(Security::StartTls);
  Server("220 mail.test");
  Client("EHLO PC01");
  Server("250 STARTTLS");
  Client("STARTTLS");
  Server("454 4.7.0 TLS not available");
  Client("QUIT");
  EXPECT_EQ(AllSteps(), "Connected: 220 mail.test\n");
  EXPECT_EQ(trace_->LastReplyCode(), 454);
}

TEST_F(Dialogue, MultiLineReplyIsKeptWholeWithTheCodeOfItsLastLine) {
  StartTlsAndAuth();
  Client("MAIL FROM:<a@b.test>");
  Server("550-5.7.1 Sender refused");
  Server("550 5.7.1 see policy");
  EXPECT_EQ(trace_->LastReplyCode(), 550);
  EXPECT_EQ(trace_->LastReply(), "550-5.7.1 Sender refused | 550 5.7.1 see policy");
}

TEST_F(Dialogue, GoodbyeAfterARefusalKeepsTheRefusal) {
  StartTlsAndAuth();
  Client("MAIL FROM:<a@b.test>");
  Server("250 OK");
  Client("RCPT TO:<nobody@d.test>");
  Server("550 5.1.1 no such mailbox");
  Client("QUIT");
  Server("221 Bye");
  EXPECT_EQ(trace_->Phase(), SmtpPhase::RcptTo);
  EXPECT_EQ(trace_->LastReplyCode(), 550);
  EXPECT_EQ(MapSessionResult(CURLE_SEND_ERROR, trace_->Phase(), trace_->LastReplyCode()),
            ExitCode::MessageRefused);
}

TEST_F(Dialogue, MessageRefusedAtTheEndOfData) {
  StartTlsAndAuth();
  Client("MAIL FROM:<a@b.test>");
  Server("250 OK");
  Client("RCPT TO:<c@d.test>");
  Server("250 OK");
  Client("DATA");
  Server("354 go ahead");
  Server("554 5.6.0 message refused");
  EXPECT_EQ(trace_->Phase(), SmtpPhase::EndOfData);
  EXPECT_EQ(MapSessionResult(CURLE_WEIRD_SERVER_REPLY, trace_->Phase(), trace_->LastReplyCode()),
            ExitCode::MessageRefused);
  EXPECT_EQ(AllSteps().find("Accepted"), std::string::npos);
}

TEST(ExitCodes, EachEndingOfASession) {
  using P = SmtpPhase;
  struct Case {
    CURLcode code;
    SmtpPhase phase;
    int reply;
    ExitCode want;
  };
  const Case cases[] = {
      {CURLE_OK, P::Done, 250, ExitCode::Accepted},
      {CURLE_OPERATION_TIMEDOUT, P::Greeting, 0, ExitCode::TimedOut},
      {CURLE_OPERATION_TIMEDOUT, P::EndOfData, 354, ExitCode::TimedOut},
      {CURLE_LOGIN_DENIED, P::Auth, 535, ExitCode::AuthRefused},
      {CURLE_SEND_ERROR, P::MailFrom, 530, ExitCode::MessageRefused},  // AUTH required, none done
      {CURLE_SEND_ERROR, P::RcptTo, 550, ExitCode::MessageRefused},
      {CURLE_SEND_ERROR, P::RcptTo, 451, ExitCode::MessageRefused},
      {CURLE_SEND_ERROR, P::Data, 554, ExitCode::MessageRefused},
      {CURLE_SEND_ERROR, P::RcptTo, 250, ExitCode::ConnectFailed},  // connection lost, nothing refused
      {CURLE_RECV_ERROR, P::EndOfData, 354, ExitCode::ConnectFailed},
      {CURLE_COULDNT_CONNECT, P::Greeting, 0, ExitCode::ConnectFailed},
      {CURLE_COULDNT_RESOLVE_HOST, P::Greeting, 0, ExitCode::ConnectFailed},
      {CURLE_WEIRD_SERVER_REPLY, P::Greeting, 554, ExitCode::ConnectFailed},
      {CURLE_USE_SSL_FAILED, P::StartTls, 454, ExitCode::ConnectFailed},
      {CURLE_SSL_CONNECT_ERROR, P::StartTls, 220, ExitCode::ConnectFailed},
      {CURLE_PEER_FAILED_VERIFICATION, P::StartTls, 220, ExitCode::ConnectFailed},
      {CURLE_URL_MALFORMAT, P::Greeting, 0, ExitCode::BadSettings},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MapSessionResult(c.code, c.phase, c.reply), c.want)
        << "curl " << c.code << " phase " << static_cast<int>(c.phase) << " reply " << c.reply;
  }
}

}  // namespace
}  // namespace qv::mailer
