#pragma once

#include <memory>

namespace Orvik::Apps::Entity
{

/// A row's link to its parent row, for example an app instance's link to its app.
///
/// Either the row loaded the parent itself (internally managed: the link owns it)
/// or the parent was set from outside (not owned: whoever set it keeps it alive).
/// A fresh link is internally managed and empty, so the row loads its parent on
/// first use.
///
/// Copies of a row share an owned parent: the last copy that lets go deletes it.
/// So two copies never delete one parent twice, and neither leaves the other with
/// a dangling pointer.
template <class Parent>
class ParentLink
{
public:
    Parent* get() const { return _pParent; }
    bool isInternallyManaged() const { return _internallyManaged; }

    /// Takes a parent that the row loaded itself (null: none found).
    template <class Loaded>
    void own(Loaded&& pLoaded)
    {
        _pOwned = std::shared_ptr<Parent>(std::forward<Loaded>(pLoaded));
        _pParent = _pOwned.get();
        _internallyManaged = true;
    }

    /// Sets a parent from outside, not owned. Null makes the link internally
    /// managed again, so that the row loads its parent on next use.
    void set(Parent* pParent)
    {
        _pOwned.reset();
        _pParent = pParent;
        _internallyManaged = pParent == nullptr;
    }

private:
    Parent* _pParent = nullptr;
    std::shared_ptr<Parent> _pOwned;
    bool _internallyManaged = true;
};

}  // namespace Orvik::Apps::Entity
