// Loading the scene document embedded in the executable (resource "DDS" 107):
//   1. a header string, read and discarded (its text is never compared);
//   2. the root record: class name and version (both ignored), then the
//      scene root's fields (its slides and sound items);
//   3. the resource-manager section: class name (ignored), int32 version,
//      the manager's tables for that version.
// Bytes after the manager section are not read.
//
// The scene root is made and read by the scene code, which puts its reader
// here; the loader only frames it.
#pragma once

#include "document/archive.h"
#include "document/item.h"
#include "document/res_manager.h"

// The resource number of the scene document in the executable.
constexpr WORD DS_SCENE_DOCUMENT_RESOURCE = 107;

// Reads a whole root record (its class name and version, both ignored, then
// the root's fields) into a new DS_SlideShow_Light, whatever name the
// document gives.  Throws DS_LoadError on any fault.
using DS_SceneRootReader = DS_IOF_Item* (*)(DS_IOF_Virtual& archive);
// The scene code sets this once at start-up; returns the previous reader.
DS_SceneRootReader SetSceneRootReader(DS_SceneRootReader reader);

// The root record through the root reader.  Without one the load fails.
DS_IOF_Item* ReadSlideShowRoot(DS_IOF_Virtual& archive);
// The manager section: a new manager (which becomes the cache holder) with
// its tables read for the version read.
DS_DocResManager* ReadDocResManager(DS_IOF_Virtual& archive);

// The document from the executable.  Returns the new root (the caller owns
// it; a DS_SlideShow_Light) and makes the new manager the current one (it
// lives until the process ends).  A missing or empty document, and any fault
// while reading, throws DS_LoadError (code 0x8200000B); then nothing is kept
// and the current manager is as it was.
DS_IOF_Item* LoadSceneDocument();

// The same steps over document bytes already in memory.  The bytes must
// outlive the load.
DS_IOF_Item* LoadSceneDocumentFromMemory(const void* data, size_t size);
