// The configuration interface: typed reads and one write by path.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/wide.h"

// Answer of the operations an implementation does not support.
// Windows headers define it already, with the same value.
#ifndef E_NOTIMPL
constexpr int E_NOTIMPL = static_cast<int>(0x80004001u);
#endif

// The slot order is part of the interface: unsupported entries keep theirs.
class IConfig {
 public:
  virtual int GetInt(const WideString& path, int32_t& value) = 0;
  virtual int GetIntAlt(const WideString& path, int32_t& value) = 0;
  virtual int GetString(const WideString& path, WideString& value) = 0;
  virtual int GetStringAlt(const WideString& path, WideString& value) = 0;
  virtual int GetBOOL(const WideString& path, int32_t& value) = 0;
  virtual int GetBool(const WideString& path, bool& value) = 0;
  // The lists append and never clear what the caller already holds.
  virtual int GetBoolList(const WideString& path, std::vector<bool>& values) = 0;
  virtual int GetStringList(const WideString& path, std::vector<WideString>& values) = 0;
  virtual int GetIntList(const WideString& path, std::vector<int32_t>& values) = 0;
  virtual int GetStringListAlt(const WideString& path, std::vector<WideString>& values) = 0;
  virtual int SetString(const WideString& path, const WideString& value) = 0;
  virtual int Unsupported11(const WideString& path, const WideString& value) = 0;
  virtual int Unsupported12(const WideString& path, const WideString& value) = 0;
  virtual int Unsupported13(const WideString& path, const WideString& value) = 0;
  virtual int Unsupported14(const WideString& path, const WideString& value) = 0;
  virtual int Unsupported15(const WideString& path, const WideString& value) = 0;
  virtual int Unsupported16(const WideString& path, const WideString& value) = 0;
  virtual int Unsupported17(const WideString& path, const WideString& value) = 0;
  virtual int Unsupported18(const WideString& path) = 0;
  virtual int Unsupported19(const WideString& path) = 0;
  // Also written to `count`; 0 when the path selects nothing.
  virtual int GetCount(const WideString& path, int32_t& count) = 0;
  virtual ~IConfig() = default;
  virtual int Unsupported22(const WideString& path) = 0;
  virtual int Unsupported23() = 0;
  virtual int Save() = 0;
  virtual int GetNodeXml(const WideString& path, WideString& xml) = 0;
};
