// Error objects of translated structured exceptions. A host catches them and
// calls their operations through the thrown object's table; to catch them it
// links this type, whose table and type information come with it, but not the
// log: Report hands the error to the reporter its module installed, and the
// library's log channels install the one that writes it (err_report.h).
#pragma once

#include <cstdint>

#include "platform/fault_translator.h"
#include "platform/wide.h"

class ErrObj {
 public:
  // From a structured exception; codes without a name get "No desc".
  explicit ErrObj(const platform::ExceptionPointers* pointers);
  // From a system error code, whose text comes from the system.
  ErrObj(uint32_t systemErrorCode, bool systemError);
  ErrObj(const ErrObj& other) = default;
  ErrObj& operator=(const ErrObj& other) = default;
  virtual ~ErrObj();

  // Filled on first use; stays empty (and is asked again) when the system has
  // no text for a system error.
  virtual WideString GetDescription();
  virtual uint32_t GetCode();
  // Hands the error to the module's reporter; nothing without one. The
  // library's log installs one that writes a line on the "DbgPlugin" channel.
  virtual void Report(int32_t unused);

  bool IsSystemError() const { return systemError; }

  using Reporter = void (*)(ErrObj& error);
  // The module's one reporter; null (the default) makes Report do nothing.
  static void SetReporter(Reporter reporter);

 private:
  uint32_t code;
  WideString description;
  bool systemError;
};

// The system message for a Windows error code, cut at its first CR; empty
// when the system has none.
WideString SystemErrorText(uint32_t code);

// The translator installed on command threads; throws ErrObj by value.
[[noreturn]] void TranslateStructuredException(unsigned int code,
                                               platform::ExceptionPointers* pointers);
