// Address lists: any text (UTF-16LE) is a list of safe mailboxes or refused,
// and the mailboxes make well-formed address headers however long or foreign
// their names are.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "fuzz/mail_checks.h"
#include "mailer/message.h"

using namespace qv::mailer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A few mailboxes and one longer than the longest address allowed: a
  // longer list adds time, not paths.
  std::optional<std::vector<Mailbox>> list = ParseMailboxList(qv::mailer::fuzz::Utf16LeText(data, size, 320));
  if (!list || list->empty()) return 0;
  for (const Mailbox& box : *list) qv::mailer::fuzz::RequireSafeMailbox(box);
  MailSettings s;
  s.from = list->front();
  s.to = std::move(*list);
  qv::mailer::fuzz::RequireWellFormedMessage(ComposeMessage(s, LocalTime{}, "<1.2@example.test>"));
  return 0;
}
