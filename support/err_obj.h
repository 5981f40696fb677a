// Error objects of translated structured exceptions. The class a host
// catches, quorvil::ErrObj, is declared by the installed interface
// (<quorvil/host_interface.h>) with the operations below; this is the class
// the plug-in throws, derived from it. A host calls the operations through the
// thrown object's table; a host in this tree may also link this type, but not
// the log: Report hands the error to the reporter its module installed, and
// the library's log channels install the one that writes it (err_report.h).
#pragma once

#include <quorvil/host_interface.h>

#include <cstdint>

#include "platform/fault_translator.h"
#include "platform/wide.h"

class ErrObj : public quorvil::ErrObj {
 public:
  // From a structured exception; codes without a name get "No desc".
  explicit ErrObj(const platform::ExceptionPointers* pointers);
  // From a system error code, whose text comes from the system.
  ErrObj(uint32_t systemErrorCode, bool systemError);
  ErrObj(const ErrObj& other) = default;
  ErrObj& operator=(const ErrObj& other) = default;
  ~ErrObj() override;

  // Filled on first use; stays empty (and is asked again) when the system has
  // no text for a system error.
  WideString GetDescription() const override;
  uint32_t GetCode() const override;
  // Hands the error to the module's reporter; nothing without one. The
  // library's log installs one that writes a line on the "DbgPlugin" channel.
  void Report(int32_t unused) const override;

  bool IsSystemError() const { return systemError; }

  using Reporter = void (*)(const ErrObj& error);
  // The module's one reporter; null (the default) makes Report do nothing.
  static void SetReporter(Reporter reporter);

 private:
  uint32_t code;
  // Filled by the const GetDescription on first use.
  mutable WideString description;
  bool systemError;
};

// The system message for a Windows error code, cut at its first CR; empty
// when the system has none.
WideString SystemErrorText(uint32_t code);

// The translator installed on command threads; throws ErrObj by value.
[[noreturn]] void TranslateStructuredException(unsigned int code,
                                               platform::ExceptionPointers* pointers);
