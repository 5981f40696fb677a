// drovemark-host: the workflow host stand-in that drives component libraries.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "ondra/ondra.h"
#include "platform/standin/shared_library.h"
#include "quorvil/version.h"
#include "text/utf.h"

namespace {

using RegisterFn = std::int32_t (*)();
using CreateFn = ondra::DynamicObject* (*)(const char*);

void Usage(std::FILE* out) {
  std::fputs(
      "usage: drovemark-host COMMAND\n"
      "       drovemark-host --version\n"
      "\n"
      "commands:\n"
      "  register LIB        load LIB and call its DllRegisterServer\n"
      "  unregister LIB      load LIB and call its DllUnregisterServer\n"
      "  create LIB PROGID   create PROGID through DllCreateInstance, run OnInitialize,\n"
      "                      try clone, release the instance and report leaks\n"
      "  list                list the classes registered on this machine\n"
      "\n"
      "Registrations live under $QUORVIL_ROOT/registry/HKEY_LOCAL_MACHINE/Software/Drovemark/Classes.\n",
      out);
}

std::string Narrow(const WideChar* text) {
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  return unicode::Utf16ToUtf8(text, n);
}

// The messages components reported, newest last.
std::vector<std::string> reported;

void Remember(const ondra::Exception& e, void*) { reported.push_back(Narrow(e.getMessage())); }

class Library {
 public:
  explicit Library(const char* path)
      : path_(path), library_(path, &loadError_) {}

  bool Loaded() const { return library_.is_loaded(); }
  void* Find(const char* name) const { return library_.Symbol(name); }
  const char* path() const { return path_; }
  const std::string& loadError() const { return loadError_; }

 private:
  const char* path_;
  std::string loadError_;
  platform::SharedLibrary library_;
};

// Answers null after saying why on standard error.
void* Entry(const Library& lib, const char* name) {
  void* fn = lib.Find(name);
  if (fn == nullptr) std::fprintf(stderr, "drovemark-host: %s does not export %s\n", lib.path(), name);
  return fn;
}

int Register(const char* path, const char* entry, const char* done) {
  Library lib(path);
  if (!lib.Loaded()) {
    std::fprintf(stderr, "drovemark-host: cannot load %s: %s\n", path, lib.loadError().c_str());
    return 2;
  }
  auto fn = reinterpret_cast<RegisterFn>(Entry(lib, entry));
  if (fn == nullptr) return 2;
  std::int32_t rc;
  try {
    rc = fn();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "drovemark-host: %s of %s failed: %s\n", entry, path, e.what());
    return 1;
  }
  if (rc != 0) {
    std::fprintf(stderr, "drovemark-host: %s of %s failed with 0x%08X\n", entry, path, static_cast<unsigned>(rc));
    return 1;
  }
  std::printf("%s: 0x00000000 (%s the classes of %s)\n", entry, done, path);
  return 0;
}

// The context the host hands a component while it initialises.
class Context : public ondra::iComponentContext {
 public:
  virtual ~Context() = default;
  const WideChar* getWorkflowName() const override { return WIDE("drovemark-host"); }
  const WideChar* getStepName() const override { return WIDE("create"); }
  const WideChar* getParameter(const WideChar*) const override { return nullptr; }
  bool setOutput(const WideChar*, const WideChar*) override { return false; }
  void writeLog(const WideChar* text) override { std::printf("component: %s\n", Narrow(text).c_str()); }
  bool isCancelled() const override { return false; }
  int connect() override {
    ++connections;
    return 0;
  }
  int connections = 0;
};

int Leaks() {
  const std::vector<ondra::LeakDetector::Leak> leaks = ondra::LeakDetector::AllAlive();
  for (const auto& leak : leaks) {
    std::fprintf(stderr, "drovemark-host: leaked %s at %p (%s)\n", leak.object.c_str(), leak.address,
                 leak.detector.c_str());
  }
  return static_cast<int>(leaks.size());
}

int Run(ondra::DynamicObject* object, const char* progId) {
  auto* component = static_cast<ondra::ComponentObject*>(object->findAs(ondra::ComponentObject::staticClassTag()));
  if (component == nullptr) {
    std::fprintf(stderr, "drovemark-host: %s is not a component\n", progId);
    return 1;
  }
  Context context;
  const int ready = component->OnInitialize(&context);
  std::printf("created %s; OnInitialize answered %d (context connected %d time%s)\n", progId, ready,
              context.connections, context.connections == 1 ? "" : "s");
  const std::size_t before = reported.size();
  ondra::Object* copy = object->clone();
  if (copy == nullptr) {
    std::printf("clone refused%s%s; ", reported.size() > before ? ": " : "",
                reported.size() > before ? reported.back().c_str() : "");
  } else {
    std::printf("clone made a copy; ");
    static_cast<ondra::CountedObject*>(copy->getAs(ondra::CountedObject::staticClassTag()))->release();
  }
  return 0;
}

int Create(const char* path, const char* progId) {
  Library lib(path);
  if (!lib.Loaded()) {
    std::fprintf(stderr, "drovemark-host: cannot load %s: %s\n", path, lib.loadError().c_str());
    return 2;
  }
  auto create = reinterpret_cast<CreateFn>(Entry(lib, "DllCreateInstance"));
  if (create == nullptr) return 2;
  int rc = 0;
  try {
    ondra::DynamicObject* object = create(progId);
    if (object == nullptr) {
      std::fprintf(stderr, "drovemark-host: DllCreateInstance answered null for %s%s\n", progId,
                   CZetLibraryUtils::IsClassAvailable(progId) ? "" : " (no class is available under that ProgID)");
      return 1;
    }
    try {
      rc = Run(object, progId);
    } catch (...) {
      object->release();
      throw;
    }
    object->release();
  } catch (const ondra::Exception& e) {
    std::fprintf(stderr, "drovemark-host: %s failed: %s\n", progId, Narrow(e.getMessage()).c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "drovemark-host: %s failed: %s\n", progId, e.what());
    return 1;
  }
  if (rc != 0) return rc;
  const int leaks = Leaks();
  if (leaks != 0) {
    std::printf("released, %d leak%s\n", leaks, leaks == 1 ? "" : "s");
    return 1;
  }
  std::printf("released, no leaks\n");
  return 0;
}

int List() {
  const std::vector<ZetRegisteredClass> classes = CZetLibraryUtils::ListRegisteredClasses();
  if (classes.empty()) std::printf("no classes registered\n");
  for (const auto& c : classes) {
    std::printf("%s\t%s\tflags 0x%X\t%s\n", c.progId.c_str(), c.description.c_str(), static_cast<unsigned>(c.flags),
                c.library.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ondra::Exception::SetReporter(&Remember, nullptr);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::size_t n = args.size();
  if (n == 1 && (args[0] == "--help" || args[0] == "-h")) {
    Usage(stdout);
    return 0;
  }
  if (n == 1 && args[0] == "--version") {
    std::puts("drovemark-host " QUORVIL_VERSION);
    return 0;
  }
  if (n == 2 && args[0] == "register") return Register(argv[2], "DllRegisterServer", "registered");
  if (n == 2 && args[0] == "unregister") return Register(argv[2], "DllUnregisterServer", "unregistered");
  if (n == 3 && args[0] == "create") return Create(argv[2], argv[3]);
  if (n == 1 && args[0] == "list") return List();
  if (n == 0) {
    std::fprintf(stderr, "drovemark-host: no command given\n");
  } else {
    std::fprintf(stderr, "drovemark-host: unknown command or wrong arguments: %s\n", args[0].c_str());
  }
  Usage(stderr);
  return 2;
}
