#pragma once

// `TextEncoding`, which lives in the text core now; this path keeps working.

#include "tamrikcsv/text/text_encoding.hpp"
