#pragma once

// The error record with the kinds of all four CSV components, as this path always gave them: the record
// lives in the text core now, and each component's kinds beside the component.

#include "tamrikcsv/decoder/decoder_error.hpp"
#include "tamrikcsv/encoder/encoder_error.hpp"
#include "tamrikcsv/reader/reader_error.hpp"
#include "tamrikcsv/text/csv_error.hpp"
#include "tamrikcsv/writer/writer_error.hpp"
