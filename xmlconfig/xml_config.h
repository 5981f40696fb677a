// The XML configuration object: IConfig over one parsed document.
#pragma once

#include <memory>

#include "xmlconfig/config.h"
#include "xmlconfig/xml_doc.h"

// Reads answer 0 and leave defaults (empty, 0, false, nothing appended) when
// the path selects nothing or the text did not parse.
class CXmlConfig : public IConfig {
 public:
  explicit CXmlConfig(const WideString& xml);
  ~CXmlConfig() override;
  CXmlConfig(const CXmlConfig&) = delete;
  CXmlConfig& operator=(const CXmlConfig&) = delete;

  int GetInt(const WideString& path, int32_t& value) override;
  int GetIntAlt(const WideString& path, int32_t& value) override;
  int GetString(const WideString& path, WideString& value) override;
  int GetStringAlt(const WideString& path, WideString& value) override;
  int GetBOOL(const WideString& path, int32_t& value) override;
  int GetBool(const WideString& path, bool& value) override;
  int GetBoolList(const WideString& path, std::vector<bool>& values) override;
  int GetStringList(const WideString& path, std::vector<WideString>& values) override;
  int GetIntList(const WideString& path, std::vector<int32_t>& values) override;
  int GetStringListAlt(const WideString& path, std::vector<WideString>& values) override;
  // Writes the value, creating missing elements; answers E_NOTIMPL whether or
  // not anything was written.
  int SetString(const WideString& path, const WideString& value) override;
  int Unsupported11(const WideString& path, const WideString& value) override;
  int Unsupported12(const WideString& path, const WideString& value) override;
  int Unsupported13(const WideString& path, const WideString& value) override;
  int Unsupported14(const WideString& path, const WideString& value) override;
  int Unsupported15(const WideString& path, const WideString& value) override;
  int Unsupported16(const WideString& path, const WideString& value) override;
  int Unsupported17(const WideString& path, const WideString& value) override;
  int Unsupported18(const WideString& path) override;
  int Unsupported19(const WideString& path) override;
  int GetCount(const WideString& path, int32_t& count) override;
  int Unsupported22(const WideString& path) override;
  int Unsupported23() override;
  // Answers 0 whether or not the file was written; with no file name set
  // nothing is.
  int Save() override;
  int GetNodeXml(const WideString& path, WideString& xml) override;

 private:
  std::unique_ptr<CXmlDoc> document;
  WideString filePath;
};
