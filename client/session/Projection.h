// Starting and stopping a projection, on the session's process-wide state.
#pragma once

#include <cstdint>

namespace tarrowlink {

// Asks the receiver to start (MSG_START_REQUEST). 0 while projecting or when the request could not
// be sent, else 1. API caller's thread.
int StartProjecting(int32_t start_request_type);

// Stops the projection: from_receiver 0 when the user stops (the receiver is told), 1 when the
// receiver already stopped or refused. 0 when already stopped, else 1. Any session thread.
int StopProjecting(int from_receiver);

// Runs the projection start for SERVER_START: geometry, MSG_PICTURE_SIZE, capture and the sending
// thread. 1 when the sending thread runs. 0 while projecting, or when a step failed: then the
// session is back in StateConnected with nothing left of the start, the reason is in the
// session's last failure and a diagnostic line says it. Control thread.
int StartSending();

// Ends the sending thread (no pass runs after this returns) and sets StateIdle. Any thread but
// the sending thread itself.
void TerminateSendingThread();

// Whether a sending thread is running now. Tests.
bool SendingThreadRunning();

}  // namespace tarrowlink
