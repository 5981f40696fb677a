// SPDX-License-Identifier: MIT
// <quorvil/host_interface.h>: what an agent host needs to hand commands to the
// Quorvil plug-in, and nothing else. The plug-in is built from these very
// declarations (plugin/host_command.h, plugin/exports.h and support/err_obj.h
// use them), so host and plug-in cannot drift apart.
//
//   - the four command interfaces the host implements (HostCommand,
//     AttributeSource, CommandContext, CommandRequest), with the layout rule
//     that AttributeSourceOf states;
//   - the wide string and map types the host fills for the plug-in;
//   - ErrObj, the fault that leaves PostCommand (catch it by reference);
//   - the entry points' function types and names, to look them up in the
//     plug-in loaded by path (dlopen / LoadLibraryW).
//
// Everything lives in namespace quorvil; the macros start with QUORVIL_.
// The header includes <stdsoap2.h> and refuses any gSOAP release other than
// the plug-in's, and a runtime built without WITH_IPV6 and WITH_DOM: the
// plug-in reads the host's gSOAP contexts directly.
#pragma once

#include <cstdint>
#include <cwchar>
#include <map>
#include <string>
#include <type_traits>

#include <stdsoap2.h>

#include <quorvil/version.h>

#if !defined(GSOAP_VERSION) || GSOAP_VERSION != QUORVIL_GSOAP_VERSION
#error "<quorvil/host_interface.h>: this stdsoap2.h is another gSOAP release than the plug-in's (QUORVIL_GSOAP_RELEASE in <quorvil/version.h>); build the host with exactly that release"
#endif
#if !defined(WITH_IPV6) || !defined(WITH_DOM)
#error "<quorvil/host_interface.h>: the plug-in's gSOAP runtime is built with WITH_IPV6 and WITH_DOM; define both for the host too (pkg-config --cflags gsoap++ does)"
#endif

// Decided by what the compiler offers, not by the system's name: wide text is
// UTF-16, wchar_t where wchar_t is 16 bits (Windows), char16_t elsewhere.
// A wide literal of quorvil::WideChar: QUORVIL_WIDE("TemplateConfig").
#if WCHAR_MAX <= 0xFFFF
#define QUORVIL_WIDE(literal) L##literal
#else
#define QUORVIL_WIDE(literal) u##literal
#endif
// ErrObj's type information must be one across the boundary: on ELF it is
// given default visibility, so that a host built with -fvisibility=hidden
// still matches the plug-in's; PE has no such notion.
#if defined(__ELF__)
#define QUORVIL_SHARED_TYPE __attribute__((visibility("default")))
#else
#define QUORVIL_SHARED_TYPE
#endif

namespace quorvil {

using WideChar =
    std::conditional<sizeof(wchar_t) == 2, wchar_t, char16_t>::type;
using WideString = std::basic_string<WideChar>;

// A command's attributes; keys compare exactly, with case.
using AttributeMap = std::map<WideString, WideString>;

class CommandRequest;
class CommandContext;

// Every operation below is pure virtual and stands in the order of the host's
// table slots; slots the plug-in never calls keep their places. The plug-in
// calls each through the host object's own table and carries no body of any.
// No interface has a virtual destructor: it would take slots.

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

// Where a HostCommand keeps its AttributeSource: the plug-in reaches it here,
// as a reference of the interface's type, so the call always goes through
// the host's table.
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
  // Slot 6: the context the plug-in allocates the decoded attachment in;
  // the host frees it with the request (soap_end). Asked for on every command.
  virtual struct soap* GetSoap() = 0;
  virtual void RequestSlot7() = 0;
  // Slot 8: the context that received the message: the plug-in reads its
  // mime.list (the envelope, then the attachment) and changes nothing in it.
  // May be the same context as GetSoap's.
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
// and nothing else, and no destructor takes a slot.
static_assert(sizeof(HostCommand) == sizeof(void*) && sizeof(AttributeSource) == sizeof(void*) &&
                  sizeof(CommandContext) == sizeof(void*) && sizeof(CommandRequest) == sizeof(void*),
              "a host interface is its table pointer alone");
static_assert(!std::has_virtual_destructor<HostCommand>::value &&
                  !std::has_virtual_destructor<AttributeSource>::value &&
                  !std::has_virtual_destructor<CommandContext>::value &&
                  !std::has_virtual_destructor<CommandRequest>::value,
              "a virtual destructor would take table slots");

// A fault while the plug-in handles a command (an access violation, a
// division by zero, in the plug-in or in the host's own callbacks on that
// thread) leaves PostCommand as a thrown ErrObj; catch it by reference:
//
//   try { postCommand(&command); } catch (const quorvil::ErrObj& fault) { ... }
//
// Its operations are const, so a const reference is all a handler needs.
// The plug-in throws an object of its own class derived from this one. Its
// operations are called through the thrown object's table, so a host needs
// nothing of the plug-in's to use them; this class has no out-of-line
// function, so each side carries its type information and the C++ runtime
// matches them by name.
class QUORVIL_SHARED_TYPE ErrObj {
 public:
  virtual ~ErrObj() = default;
  // Slot 1: the description: the exception's name such as
  // "EXCEPTION_ACCESS_VIOLATION", "No desc" for a code without a name, or a
  // system error's text.
  virtual WideString GetDescription() const = 0;
  // Slot 2: the code: a structured-exception code (0xC0000005, 0xC0000094,
  // ...) or a system error code.
  virtual uint32_t GetCode() const = 0;
  // Slot 3: writes "Err occur, Code:%d\t%s\n\t%s" on the plug-in's DbgPlugin
  // log channel; the argument is not used.
  virtual void Report(int32_t unused) const = 0;

 protected:
  ErrObj() = default;
  ErrObj(const ErrObj&) = default;
  ErrObj& operator=(const ErrObj&) = default;
};

// The seven entry points, exported with C linkage under these names. Every
// one answers 0; a command's outcome reaches the host through SetResult.
using EntryPoint = int (*)();
using PostCommandFunction = int (*)(HostCommand* command);
constexpr const char kInitModule[] = "InitModule";
constexpr const char kUninitModule[] = "UninitModule";
constexpr const char kGetInfo[] = "GetInfo";
constexpr const char kRunTimeRoutine[] = "RunTimeRoutine";
constexpr const char kGetPluginVersion[] = "GetPluginVersion";
constexpr const char kSetDbg[] = "SetDbg";
constexpr const char kPostCommand[] = "PostCommand";

}  // namespace quorvil
