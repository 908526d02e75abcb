// xylib's layouts (spectroscopy and diffraction files: Canberra CNF and
// MCA, Bruker RAW and UXD, VAMAS, XRDML, WinSpec SPE, ...), read by the
// small program tarva-xylib in a process of its own (why: see
// xylib_reader_program.cpp) and brought back as an InstrumentSpectrum.
#pragma once

#include <string>

#include "dataset/import/readers.h"
#include "dataset/import/xylib_reply.h"

namespace tarva {

// The reader program: $TARVA_XYLIB_READER when set, else tarva-xylib beside
// the running program, else in the library directory compiled in. Empty
// when none of them is an executable file.
std::string xylib_reader_program();

// Runs the reader program on the file (at most `seconds`, less when a
// signal asks the run to end) and reads its reply.
Outcome<XylibReply> run_xylib_reader(const std::string& program, const std::string& path, double seconds = 20.0);

// The reply as a spectrum (Canberra's MCA layouts: counts per channel from
// channel 1, with their calibration and times) or a table (the others).
ReadOutcome spectrum_of_reply(const XylibReply& reply);

// The file through the reader program: the spectrum, or what xylib said
// (an error of the layout whose check the file passed, or "none" with the
// layouts tried).
ReadOutcome read_with_xylib(const FileBytes& file);

} // namespace tarva
