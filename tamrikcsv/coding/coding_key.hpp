#pragma once

// `CodingKey` and `CodingPath`, which live in the text core now (errors carry them); this path keeps working.

#include "tamrikcsv/text/coding_key.hpp"
