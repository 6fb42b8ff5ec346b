// SPDX-License-Identifier: GPL-3.0-or-later
// The catalog holder: what the writer needs of the source catalog. The
// catalog itself is rebuilt on save from these slots.
#pragma once

#include <memory>
#include <string>

#include "pdf/objects/pdf_objects.h"

namespace pagemint {

// The viewer preferences dictionary and its six Boolean settings. The
// writer writes the dictionary inline in the catalog with every key it
// holds (/PrintScaling, /Duplex, /PrintPageRange, /NumCopies, ...), as the
// source had them, with the setters' changes applied.
class TgtPDFViewerPreferences {
 public:
  TgtPDFViewerPreferences() : dictionary_(std::make_unique<TgtPDFDictObject>()) {}

  TgtPDFDictObject& Dictionary() const { return *dictionary_; }
  // Replaces (and frees) the dictionary held so far.
  void SetDictionary(std::unique_ptr<TgtPDFDictObject> dictionary);

  bool HideToolbar() const { return Flag("/HideToolbar"); }
  bool HideMenubar() const { return Flag("/HideMenubar"); }
  bool HideWindowUI() const { return Flag("/HideWindowUI"); }
  bool FitWindow() const { return Flag("/FitWindow"); }
  bool CenterWindow() const { return Flag("/CenterWindow"); }
  bool DisplayDocTitle() const { return Flag("/DisplayDocTitle"); }
  void SetHideToolbar(bool on) { SetFlag("/HideToolbar", on); }
  void SetHideMenubar(bool on) { SetFlag("/HideMenubar", on); }
  void SetHideWindowUI(bool on) { SetFlag("/HideWindowUI", on); }
  void SetFitWindow(bool on) { SetFlag("/FitWindow", on); }
  void SetCenterWindow(bool on) { SetFlag("/CenterWindow", on); }
  void SetDisplayDocTitle(bool on) { SetFlag("/DisplayDocTitle", on); }

 private:
  bool Flag(const char* key) const;
  void SetFlag(const char* key, bool on);

  std::unique_ptr<TgtPDFDictObject> dictionary_;
};

struct TgtPDFCatalog {
  TgtPDFCatalog() : viewer_preferences(std::make_unique<TgtPDFViewerPreferences>()) {}

  std::unique_ptr<TgtPDFViewerPreferences> viewer_preferences;
  // The source's /PageMode and /PageLayout names that the page mode and
  // layout tables hold no value for (/UseOC, /TwoPageLeft, ...): written
  // back while the component's page mode or layout is pmNone or plNone.
  // Setting the page mode or layout forgets the name.
  std::string page_mode_name;
  std::string page_layout_name;
  TgtPDFObjectPtr names;               // /Names, normally a reference
  TgtPDFObjectPtr outlines;            // set by the writer to the rebuilt outline root
  TgtPDFObjectPtr open_action;         // /OpenAction
  TgtPDFObjectPtr acro_form;           // /AcroForm, always a reference once loaded
  TgtPDFObjectPtr metadata;            // /Metadata reference
  TgtPDFObjectPtr additional_actions;  // /AA
  // Every other entry of the source catalog (/Lang, /PageLabels,
  // /StructTreeRoot, /Dests, ...), cloned in source order. Everything they
  // refer to is loaded and marked used, so the writer can put them back.
  std::unique_ptr<TgtPDFDictObject> other_entries = std::make_unique<TgtPDFDictObject>();
};

}  // namespace pagemint
