// Finding receivers the way the presenter does: two searches 2 s apart, bounded in time because
// the library's search itself waits for the first beacon without a limit.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace cli {

struct HeardReceiver {
    std::string address;
    std::string name;
};

// Searches for up to seconds. on_heard runs on the calling thread for each receiver as it is first
// heard; returning true ends the search early. Returns every receiver heard; *failure_code is the
// discovery failure notification (1029, 1031, 1037) or 0.
std::vector<HeardReceiver> SearchReceivers(
    int seconds, const std::function<bool(const HeardReceiver&)>& on_heard, int* failure_code);

}  // namespace cli
