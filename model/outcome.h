// What a reader or writer did, with the reason when it did not do it all.
// The core never talks to the user; each front end says it its own way
// (the window in message boxes, in French; the command line on stderr).
#pragma once

#include <cstdint>
#include <string>

enum class OutcomeKind : std::uint8_t {
  Done,              // the whole file was read or written
  CannotOpen,        // the system refused the file: Error holds its code
  NotImportLibrary,  // the file holds no import: Detail says what it is instead
  StaticLibrary,     // a library of object modules and no import: Count modules
  CutShort,          // the file ends too early: Count entries were read before
  Refused,           // the list cannot be written in this form: Detail says why
  CannotWrite,       // writing failed: Error holds the system's code when it said one
  Unproven,          // the bytes written would not import what the list asks for (an
                     // internal error): nothing was written, Detail names the entry
};

struct Outcome {
  OutcomeKind Kind = OutcomeKind::Done;
  int Error = 0;
  std::uint64_t Count = 0;
  std::string Detail;  // English; a front end may show it or say its own

  explicit operator bool() const { return Kind == OutcomeKind::Done; }

  static Outcome Done() { return {}; }
  static Outcome CannotOpen(int error) { return {OutcomeKind::CannotOpen, error, 0, {}}; }
  static Outcome NotImportLibrary(std::string what) {
    return {OutcomeKind::NotImportLibrary, 0, 0, std::move(what)};
  }
  static Outcome StaticLibrary(std::uint64_t modules) {
    return {OutcomeKind::StaticLibrary, 0, modules, {}};
  }
  static Outcome CutShort(std::uint64_t entries, std::string where = {}) {
    return {OutcomeKind::CutShort, 0, entries, std::move(where)};
  }
  static Outcome Refused(std::string why) { return {OutcomeKind::Refused, 0, 0, std::move(why)}; }
  static Outcome CannotWrite(int error, std::string detail = {}) {
    return {OutcomeKind::CannotWrite, error, 0, std::move(detail)};
  }
  static Outcome Unproven(std::string what) { return {OutcomeKind::Unproven, 0, 0, std::move(what)}; }
};

// The reason in English, for the command line: "No such file or
// directory", "not an import library (a text file)", "cut short after 32
// entries", ...
std::string Describe(const Outcome& outcome);
