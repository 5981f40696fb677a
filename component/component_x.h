// CComponentX, the sample component, and its class object CComponentXClass.
#pragma once

#include <cstdint>

#include "ondra/ondra.h"

class CComponentX : public ondra::ComponentObject {
 public:
  CComponentX();
  // Always throws ondra::Exception: components of this class are not copied.
  CComponentX(const CComponentX& other);
  CComponentX& operator=(const CComponentX&) = delete;

  // Component operations.
  int OnInitialize(ondra::iComponentContext* context) override;
  int OnEvent(std::uint32_t eventId, void* eventData) override;
  void OnShutdown(ondra::iComponentContext* context) override;

  // Object-model operations, in the order of the host's table.
  const ondra::ClassTag& getClassTag() const override;
  ondra::Object* clone() const override;
  ondra::Class* getClass() const override;
  void destroyInstance() override;
  ~CComponentX() override;
  void* _SeekClassIdentity(const ondra::ClassTag& tag) override;
  void registerLeak() override;
  void unregisterLeak() override;
  void onLastRelease() override;
};

class CComponentXClass : public ondra::Class {
 public:
  CComponentXClass();
  ~CComponentXClass() override;

  const ondra::ClassTag& getClassTag() const override;
  // Null when construction threw ondra::Exception (it has been reported).
  ondra::DynamicObject* newInstance() override;

 private:
  ondra::ClassTag tag;
  ondra::LeakDetector leakTracker;
};
