// Error objects of translated structured exceptions.
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
  // One line "Err occur, Code:%d\t%s\n\t%s" on the "DbgPlugin" channel.
  virtual void Report(int32_t unused);

  bool IsSystemError() const { return systemError; }

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
