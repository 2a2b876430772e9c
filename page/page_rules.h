// The property page's editing rules, free of windows: the text beside each
// control, how a slider or spin notification becomes a new cell value, and
// the fixed sequence that follows every accepted change. The page supplies
// the filter it edits and the surface it shows; the rules keep no state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/parameters.h"

// Text beside the slider of setting `index` for this value, given the stored
// mode: the settings table's own (SettingValueText). No text (the label keeps
// what it shows) for a mode outside 0..2 on the mode slider, and for an index
// above 5.
std::optional<std::string> SettingLabelText(std::uint32_t index, std::int32_t value, std::int32_t mode);

// Text beside the spin of assignment `index`: "Off" at either bound.
std::string AssignLabelText(std::uint32_t index, std::int32_t value);

// New value of a setting for a trackbar notification code (TB_LINEUP = 0 ...
// TB_ENDTRACK = 8). `current` is the cell as stored, never the slider's own
// position; line and page steps move the setting by one. None: no change.
std::optional<std::int32_t> StepSetting(int code, std::int32_t current, std::int32_t position, std::int32_t upper);

// The same for a spin's scroll code (SB_LINEUP = 0 ... SB_ENDSCROLL = 8).
// Code 0 raises the value here, where it lowers it on a slider.
std::optional<std::int32_t> StepAssign(int code, std::int32_t current, std::int32_t position, std::int32_t upper);

// The filter as the page edits it: one cell at a time, and its dirty flag.
class CEditedFilter {
public:
    virtual std::int32_t GetParam(std::uint32_t row, std::uint32_t index) const = 0;
    virtual void SetParam(std::uint32_t row, std::uint32_t index, std::int32_t value) = 0;
    virtual void SetDirty() = 0;

protected:
    ~CEditedFilter() = default;
};

// The page around the rules: its two labels per setting, its own dirty flag
// and its site.
class CEditorSurface {
public:
    virtual void SetValueLabel(std::uint32_t index, const char* text) = 0;
    virtual void SetAssignLabel(std::uint32_t index, const char* text) = 0;
    virtual void SetPageDirty() = 0;
    virtual void TellSiteDirty() = 0;  // the site's OnStatusChange(PROPPAGESTATUS_DIRTY), if a site is held

protected:
    ~CEditorSurface() = default;
};

// Labels setting `index` with this value in the form the stored mode asks
// for; labelling the mode relabels the amount too, so the amount's form
// always follows the stored mode.
void LabelSetting(const CEditedFilter& filter, CEditorSurface& surface, std::uint32_t index, std::int32_t value);
void LabelAssign(CEditorSurface& surface, std::uint32_t index, std::int32_t value);

// Stores one accepted change and tells everyone, in this order: the cell, the
// filter's dirty flag, the page's dirty flag, the site, the label. The
// control that sent the change keeps the position it took by itself.
void CommitEdit(CEditedFilter& filter, CEditorSurface& surface, ParamRow row, std::uint32_t index, std::int32_t value);

// One scroll notification from the slider (SettingRow) or spin (CcAssignRow)
// of setting `index`: steps from the stored cell and commits the new value.
// True when it changed the setting; otherwise nothing at all happened.
bool HandleScroll(CEditedFilter& filter, CEditorSurface& surface, ParamRow row, std::uint32_t index, int code,
                  std::int32_t position);
