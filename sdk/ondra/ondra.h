// ondra: the workflow host's object model, class registry and factory map.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ondra/containers.h"
#include "ondra/core.h"
#include "platform/wide.h"

#define ONDRA_API __attribute__((visibility("default")))

ONDRA_API extern const WideChar KVR_FunctionNameOnInitialize[];

namespace ondra {

class Class;

// A view of a class's name; valid while the declaration it came from lives.
class ONDRA_API ClassTag {
 public:
  ClassTag(const ClassTag& other) = default;
  ClassTag& operator=(const ClassTag& other) = default;
  bool operator==(const ClassTag& other) const;
  bool operator!=(const ClassTag& other) const { return !(*this == other); }
  const char* c_str() const { return name_; }

 protected:
  // The name must outlive the tag and its copies.
  constexpr explicit ClassTag(const char* name) : name_(name) {}
  const char* name_;
};

// The one owner of a class's name.
class ONDRA_API ClassTagDecl : public ClassTag {
 public:
  explicit ClassTagDecl(const char* name);
  ~ClassTagDecl();
  ClassTagDecl(const ClassTagDecl&) = delete;
  ClassTagDecl& operator=(const ClassTagDecl&) = delete;

 private:
  std::string text_;
};

class iByteOutputStream {
 public:
  virtual void write(const void* data, std::size_t bytes) = 0;

 protected:
  ~iByteOutputStream() = default;
};

class iByteInputStream {
 public:
  // Answers the bytes read; fewer than asked only at the end of the stream.
  virtual std::size_t read(void* data, std::size_t bytes) = 0;

 protected:
  ~iByteInputStream() = default;
};

// The root of the object model. The slot order of this table is part of the
// host's binary interface.
class ONDRA_API Object {
 public:
  virtual const ClassTag& getClassTag() const = 0;
  virtual bool isA(const ClassTag& tag) const;
  // The part of this object that is of class `tag`, or null.
  virtual void* findAs(const ClassTag& tag);
  // As findAs, but throws ondra::Exception when there is no such part.
  virtual void* getAs(const ClassTag& tag);
  virtual std::size_t hash() const;
  // A copy, or null when the class refuses to be copied.
  virtual Object* clone() const = 0;
  virtual Class* getClass() const = 0;
  // Writes and checks the class name; classes with data add their own.
  virtual void serialize(iByteOutputStream& out) const;
  virtual void deserialize(iByteInputStream& in);
  // Destroys the object and gives its storage back to whoever provided it.
  virtual void destroyInstance() = 0;
  virtual ~Object();
  virtual void* _SeekClassIdentity(const ClassTag& tag);
  virtual void registerLeak();
  virtual void unregisterLeak();

  static const ClassTag& staticClassTag();

 protected:
  Object() = default;
  Object(const Object&) = default;
  Object& operator=(const Object&) = default;
};

// An object owned through reference counts; it starts with one reference,
// which belongs to whoever created it.
class ONDRA_API CountedObject : public Object {
 public:
  void* _SeekClassIdentity(const ClassTag& tag) override;
  // Table slots 14 to 16 follow Object's.
  virtual std::uint32_t addRef();
  // The last release calls onLastRelease, unregisterLeak and destroyInstance.
  virtual std::uint32_t release();
  virtual void onLastRelease() = 0;

  std::uint32_t referenceCount() const;
  static const ClassTag& staticClassTag();

 protected:
  CountedObject();
  // A copy is a new object with a reference of its own.
  CountedObject(const CountedObject& other);
  CountedObject& operator=(const CountedObject&) = delete;
  ~CountedObject() override;

 private:
  std::atomic<std::uint32_t> refs_;
};

// Objects the host creates and hands out are counted objects.
using DynamicObject = CountedObject;

// What a workflow host offers a component while it runs; slot order fixed.
class iComponentContext {
 public:
  virtual const WideChar* getWorkflowName() const = 0;
  virtual const WideChar* getStepName() const = 0;
  virtual const WideChar* getParameter(const WideChar* name) const = 0;
  virtual bool setOutput(const WideChar* name, const WideChar* value) = 0;
  virtual void writeLog(const WideChar* text) = 0;
  virtual bool isCancelled() const = 0;
  // Joins the component to the running step; answers a host status.
  virtual int connect() = 0;

 protected:
  ~iComponentContext() = default;
};

// The component operations, the first table of every component.
class iComponent {
 public:
  // Answers nonzero when the component is ready to run.
  virtual int OnInitialize(iComponentContext* context) = 0;
  // Answers nonzero when the event was accepted.
  virtual int OnEvent(std::uint32_t eventId, void* eventData) = 0;
  virtual void OnShutdown(iComponentContext* context) = 0;

 protected:
  ~iComponent() = default;
};

// Called by the host while it waits for work.
class iIdleHandler {
 public:
  virtual void OnIdle() = 0;

 protected:
  ~iIdleHandler() = default;
};

class ONDRA_API ComponentObject : public iComponent, public iIdleHandler, public virtual CountedObject {
 public:
  void OnIdle() override;
  void* _SeekClassIdentity(const ClassTag& tag) override;
  static const ClassTag& staticClassTag();

 protected:
  ComponentObject();
  ComponentObject(const ComponentObject& other);
  ~ComponentObject() override;
};

// A class object: knows its tag and makes instances.
class ONDRA_API Class {
 public:
  virtual const ClassTag& getClassTag() const = 0;
  // A new instance with one reference, or null when construction was refused.
  virtual DynamicObject* newInstance() = 0;
  // This host keeps no instance pools; classes that pool override these.
  virtual void ClearPool();
  virtual const char* getPoolDebugInfo() const;
  virtual ~Class();

  Class(const Class&) = delete;
  Class& operator=(const Class&) = delete;

  // newInstance, with the instance's leak registered.
  DynamicObject* createInstance();
  // The class object published for a tag name, or null.
  static Class* findClass(const char* tagName);

 protected:
  Class() = default;
  // Publishes `cls` as the class object of this class's tag; null withdraws
  // this one. Call it where getClassTag already answers the final class.
  void setClass(Class* cls);
};

}  // namespace ondra

// The host's class description record.
class CZetClassInfo {
 public:
  ONDRA_API CZetClassInfo();
  ONDRA_API CZetClassInfo(const CZetClassInfo& other);
  ONDRA_API CZetClassInfo& operator=(const CZetClassInfo& other);
  ONDRA_API ~CZetClassInfo();

  ondra::BaseString<char> progId;
  ondra::BaseString<char> classDescription;
  std::int32_t flags;
};

// A class as the registry keeps it.
struct ZetRegisteredClass {
  std::string progId;
  std::string description;
  std::uint32_t flags;
  std::string library;
};

// An address inside a library; it names the library as a module handle does.
using ZetModuleHandle = const void*;

class ONDRA_API CZetLibraryUtils {
 public:
  // The library's full path.
  static void SetLibraryIdentifier(ZetModuleHandle module, ondra::BaseString<char>& identifier);
  static void InitFactoryComponentMap();
  static void PopulateFactoryComponentMap(const CZetClassInfo& info);
  // The map is the process's; clearing it forgets every library's classes.
  static void ClearFactoryComponentMap();
  static bool IsClassAvailable(const char* progId);

  // Records the classes in the machine's registry under
  // HKEY_LOCAL_MACHINE\Software\Drovemark\Classes\<ProgID>; failures throw
  // ondra::Exception.
  static void RegisterLibraryClasses(const ondra::Array<CZetClassInfo>& classes, const char* library);
  // Removes the classes' records whichever library made them; absent ones
  // are no failure.
  static void UnregisterLibraryClasses(const ondra::Array<CZetClassInfo>& classes, const char* library);
  static std::vector<ZetRegisteredClass> ListRegisteredClasses();

  // A new instance of the class available under `progId`, with its leak
  // registered; null when its class refused to construct it.
  static ondra::DynamicObject* CreateClassInstance(const char* progId);
};
