//===- WordListJob.h - The word-list job as the window runs it -----------===//
#pragma once

#include "ui/framework/String.h"

class CWnd;

// Runs the word-list job on the two paths and tells the user how it went in
// a message box owned by `owner`.
void RunWordListJob(const CString& source, const CString& result, CWnd* owner);
