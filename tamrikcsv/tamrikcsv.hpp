#pragma once

// The whole public interface of the tamrikcsv library.

#include "tamrikcsv/coding/coding_key.hpp"
#include "tamrikcsv/coding/decoder.hpp"
#include "tamrikcsv/coding/decoding_error.hpp"
#include "tamrikcsv/coding/values.hpp"
#include "tamrikcsv/decoder/csv_decoder.hpp"
#include "tamrikcsv/decoder/decoding_strategies.hpp"
#include "tamrikcsv/reader/character_set.hpp"
#include "tamrikcsv/reader/csv_error.hpp"
#include "tamrikcsv/reader/csv_reader.hpp"
#include "tamrikcsv/reader/delimiter.hpp"
#include "tamrikcsv/reader/file_view.hpp"
#include "tamrikcsv/reader/input_stream.hpp"
#include "tamrikcsv/reader/reader_configuration.hpp"
#include "tamrikcsv/reader/stream_status.hpp"
#include "tamrikcsv/reader/text_encoding.hpp"
#include "tamrikcsv/writer/csv_writer.hpp"
#include "tamrikcsv/writer/output_stream.hpp"
#include "tamrikcsv/writer/writer_configuration.hpp"
