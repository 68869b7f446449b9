// The about box shown for the about selector.
#pragma once

#include "host/host_records.h"

namespace aperlume {

// Runs the about box modally, owned by the host window of the record's platform data (may be none).
// Closes on a click into it or a close request; Enter and Escape do nothing.
void ShowAboutBox(const AboutRecord* record);

}  // namespace aperlume
