// Loads a Quorvil plug-in and resolves its seven entry points.
#pragma once

#include <string>

#include "platform/standin/shared_library.h"
#include "plugin/exports.h"

struct PluginEntryPoints {
  QuorvilEntryPoint InitModule = nullptr;
  QuorvilEntryPoint UninitModule = nullptr;
  QuorvilEntryPoint GetInfo = nullptr;
  QuorvilEntryPoint RunTimeRoutine = nullptr;
  QuorvilEntryPoint GetPluginVersion = nullptr;
  QuorvilEntryPoint SetDbg = nullptr;
  QuorvilPostCommand PostCommand = nullptr;
};

class PluginLibrary {
 public:
  PluginLibrary() = default;
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // False with `error` naming what went wrong (the missing symbol, say).
  bool Load(const std::string& path, std::string* error);
  void Unload();
  const PluginEntryPoints& entry() const { return entry_; }

 private:
  platform::SharedLibrary library_;
  PluginEntryPoints entry_;
};

// The libQuorvil.so built beside the running executable.
std::string DefaultPluginPath();
