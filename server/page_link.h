// What the filter needs of the property page that edits it. The page sets
// the link when it is given the filter and clears it when it lets go; neither
// side holds a reference on the other.
#pragma once

class CQvMfxVeltraceFilter;

class CFilterPageLink {
public:
    // [host thread] Settings were loaded: show the table's current values.
    virtual void RefreshControls() = 0;
    // [host thread] The filter is being destroyed: forget it.
    virtual void FilterDestroyed(CQvMfxVeltraceFilter* filter) = 0;

protected:
    ~CFilterPageLink() = default;
};
