#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// What the fuzz targets share: each defines LLVMFuzzerTestOneInput (and, when it needs
// one, LLVMFuzzerInitialize) and is linked either with libFuzzer or with ReplayMain.cpp.
namespace fuzzsupport {

inline QByteArray bytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

// Ends the run with a report the fuzzer keeps as a finding: a broken property of the
// code under test, not a crash.
[[noreturn]] void fail(const char *what);

// The widgets the handlers build need an application object; there is no screen.
void startApplication(int *argc, char ***argv);

} // namespace fuzzsupport
