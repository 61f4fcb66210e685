//===- WordListJob.cpp - The word-list job as the window runs it ---------===//
#include "ui/WordListJob.h"

#include <windows.h>

#include "core/JobMessages.h"
#include "core/TidyJob.h"
#include "platform/WideText.h"
#include "ui/framework/Wnd.h"

namespace {

// Shows the hourglass while the job runs; the window handles no messages
// meanwhile, so nothing else changes the cursor.
class WaitCursor {
 public:
  WaitCursor() : previous_(::SetCursor(::LoadCursorA(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { ::SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

}  // namespace

void RunWordListJob(const CString& source, const CString& result, CWnd* owner) {
  lexset::JobOutcome outcome;
  {
    WaitCursor wait;
    outcome = lexset::TidyWordList(source.str(), result.str());
  }
  const lexset::JobMessage message = lexset::DescribeOutcome(outcome);
  owner->MessageBox(lexset::WideText(message).c_str(), CA2W(lexset::kMessageCaption),
                    MB_OK | static_cast<UINT>(message.icon));
}
