// The agent host's command objects, shared unchanged by host and plug-in.
// Every operation is pure virtual, in slot order; slots the plug-in never
// calls keep their places so that the order stays the contract. The plug-in
// calls each operation through the host's own table and compiles no body of
// any of them. No interface has a virtual destructor: it would take slots.
#pragma once

#include <cstdint>
#include <map>
#include <type_traits>

#include "platform/wide.h"

struct soap;

// A command's attributes; keys compare exactly, with case.
using AttributeMap = std::map<WideString, WideString>;

class CommandRequest;
class CommandContext;

// The command's attribute holder.
class AttributeSource {
 public:
  // Slot 1: inserts every attribute of the command.
  virtual void FillAttributes(AttributeMap& attributes) = 0;

 protected:
  AttributeSource() = default;
  AttributeSource(const AttributeSource&) = default;
  AttributeSource& operator=(const AttributeSource&) = default;
  ~AttributeSource() = default;
};

// The command passed to PostCommand. The host's AttributeSource object is
// part of it and begins right after HostCommand's table pointer: the first
// data member of a class derived from HostCommand alone, or the base that
// follows HostCommand in a class derived from both.
class HostCommand {
 public:
  virtual void CommandSlot1() = 0;
  // Slot 2: the command's name, into a string the plug-in owns.
  virtual void GetName(WideString& name) = 0;
  virtual void CommandSlot3() = 0;
  virtual void CommandSlot4() = 0;
  // Slot 5: live for the duration of the call; neither released nor kept.
  virtual CommandContext* GetContext() = 0;

 protected:
  HostCommand() = default;
  HostCommand(const HostCommand&) = default;
  HostCommand& operator=(const HostCommand&) = default;
  ~HostCommand() = default;
};

// Where a HostCommand keeps its AttributeSource. Reached as a reference of
// the interface's type, so the call always goes through the host's table.
inline AttributeSource& AttributeSourceOf(HostCommand& command) {
  return *reinterpret_cast<AttributeSource*>(reinterpret_cast<unsigned char*>(&command) +
                                             sizeof(HostCommand));
}

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
  CommandContext() = default;
  CommandContext(const CommandContext&) = default;
  CommandContext& operator=(const CommandContext&) = default;
  ~CommandContext() = default;
};

// The SOAP request the host received.
class CommandRequest {
 public:
  virtual void RequestSlot1() = 0;
  virtual void RequestSlot2() = 0;
  virtual void RequestSlot3() = 0;
  virtual void RequestSlot4() = 0;
  virtual void RequestSlot5() = 0;
  // Slot 6: the context the plug-in may allocate in; freed with the request.
  virtual struct soap* GetSoap() = 0;
  virtual void RequestSlot7() = 0;
  // Slot 8: the context that received the message, with its MIME parts.
  virtual struct soap* GetReceivedSoap() = 0;
  virtual void RequestSlot9() = 0;
  virtual void RequestSlot10() = 0;
  virtual void RequestSlot11() = 0;
  // Slot 12: the bytes ReadData needs, terminating zero unit included.
  virtual int32_t GetDataSize() = 0;

 protected:
  CommandRequest() = default;
  CommandRequest(const CommandRequest&) = default;
  CommandRequest& operator=(const CommandRequest&) = default;
  ~CommandRequest() = default;
};

// What every target's layout rests on: each interface is its table pointer
// and nothing else, and no destructor takes a slot. The sizes and offsets
// that differ per target are pinned in host_contract_<system>.cpp.
static_assert(sizeof(HostCommand) == sizeof(void*) && sizeof(AttributeSource) == sizeof(void*) &&
                  sizeof(CommandContext) == sizeof(void*) && sizeof(CommandRequest) == sizeof(void*),
              "a host interface is its table pointer alone");
static_assert(!std::has_virtual_destructor<HostCommand>::value &&
                  !std::has_virtual_destructor<AttributeSource>::value &&
                  !std::has_virtual_destructor<CommandContext>::value &&
                  !std::has_virtual_destructor<CommandRequest>::value,
              "a virtual destructor would take table slots");
