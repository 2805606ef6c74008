#pragma once
// The message sink of the GUI programs: a modal QMessageBox over the active
// window. A message sent from another thread is shown by the GUI thread
// while the sender waits for the answer.
#include "platform/MessageDialogs.h"

class TQtMessageSink : public TMessageSink {
public:
  int Show(const TMessageRequest& request) override;
};

// Makes a process-wide TQtMessageSink the sink in use. Call after the
// QApplication exists.
void InstallQtMessageSink();
