// The threads that live on the control connection: the ControlThread, which reads and handles the
// receiver's messages, and the one KeepAliveThread of the process.
#pragma once

namespace tarrowlink {

// Starts a ControlThread for the new connection (ending an earlier one first) and, the first time,
// the KeepAliveThread; keep-alives run on the new connection whatever pauses an earlier
// projection left. Writes "Start Tcp control thread\n". API caller's thread, with no sending
// thread running.
void StartControlThreads();

// Ends the ControlThread of the previous connection, if one exists: "Main sending thread has been
// terminated.\n", then a stop request, a shutdown of the control socket it reads and a join. The
// socket itself stays open. API caller's thread.
void EndControlThread();

// Pauses and resumes the KeepAliveThread; pauses nest and a resumption without a pause does
// nothing. Any thread.
void PauseKeepAlive();
void ResumeKeepAlive();
bool KeepAliveExists();

// Interval between keep-alive messages; 10 000 ms unless a test shortens it.
void SetKeepAliveIntervalForTests(int interval_ms);

// Stops both threads at process exit, bounded so that exit never hangs. False when one did not
// end in time (it was left running).
bool StopControlThreads();

}  // namespace tarrowlink
