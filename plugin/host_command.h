// The agent host's command objects, shared unchanged by host and plug-in.
// Virtual operations stand in slot order; slots the plug-in never calls keep
// their places so that the order stays the contract.
#pragma once

#include <cstdint>
#include <map>

#include "platform/wide.h"

struct soap;

// A command's attributes; keys compare exactly, with case.
using AttributeMap = std::map<WideString, WideString>;

class CommandRequest;
class CommandContext;

// Where an AttributeSource takes its attributes from; the host's side.
class AttributeProvider {
 public:
  virtual void Provide(AttributeMap& attributes) = 0;

 protected:
  ~AttributeProvider() = default;
};

// The command's attribute holder, a member object of HostCommand.
class AttributeSource {
 public:
  explicit AttributeSource(AttributeProvider* provider) : provider_(provider) {}
  AttributeSource(const AttributeSource&) = delete;
  AttributeSource& operator=(const AttributeSource&) = delete;

  // Slot 1: inserts every attribute of the command.
  virtual void FillAttributes(AttributeMap& attributes) {
    if (provider_ != nullptr) provider_->Provide(attributes);
  }
  virtual ~AttributeSource() = default;

 private:
  AttributeProvider* provider_;
};

// The command passed to PostCommand.
class HostCommand {
 public:
  explicit HostCommand(AttributeProvider* attributes) : attributeSource(attributes) {}
  HostCommand(const HostCommand&) = delete;
  HostCommand& operator=(const HostCommand&) = delete;

  virtual void Unused1() {}
  // Slot 2: the command's name, into a string the plug-in owns.
  virtual void GetName(WideString& name) = 0;
  virtual void Unused3() {}
  virtual void Unused4() {}
  // Slot 5: live for the duration of the call; neither released nor kept.
  virtual CommandContext* GetContext() = 0;

  AttributeSource attributeSource;

 protected:
  ~HostCommand() = default;
};

// The request side of one command.
class CommandContext {
 public:
  // Slot 1: the same request on every call within one command.
  virtual CommandRequest* GetRequest() = 0;
  // Slot 2: the command's UTF-16 text, zero-terminated within *size bytes.
  virtual void ReadData(unsigned char* buffer, int32_t* size) = 0;
  // Slot 3: the host copies the result during the call.
  virtual void SetResult(const void* data, int32_t* size) = 0;

 protected:
  ~CommandContext() = default;
};

// The SOAP request the host received.
class CommandRequest {
 public:
  virtual void Unused1() {}
  virtual void Unused2() {}
  virtual void Unused3() {}
  virtual void Unused4() {}
  virtual void Unused5() {}
  // Slot 6: the context the plug-in may allocate in; freed with the request.
  virtual struct soap* GetSoap() = 0;
  virtual void Unused7() {}
  // Slot 8: the context that received the message, with its MIME parts.
  virtual struct soap* GetReceivedSoap() = 0;
  virtual void Unused9() {}
  virtual void Unused10() {}
  virtual void Unused11() {}
  // Slot 12: the bytes ReadData needs, terminating zero unit included.
  virtual int32_t GetDataSize() = 0;

 protected:
  ~CommandRequest() = default;
};
