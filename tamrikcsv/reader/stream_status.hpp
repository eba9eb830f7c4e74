#pragma once

// `StreamStatus`, which lives in the text core now; this path keeps working.

#include "tamrikcsv/text/stream_status.hpp"
