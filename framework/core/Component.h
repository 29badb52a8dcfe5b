#pragma once
// The owned-object base: the application object owns its data module and forms through it and
// frees them, the last created first.

namespace vcl {

/// Something the application object can own and free.
class TComponent {
public:
    TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;
    virtual ~TComponent() = default;

    /// Called by the owner just before it frees the component; may raise, and the component is
    /// then left unfreed.
    virtual void BeforeDestruction() {}
};

/// A non-visual container of components (the data module's base).
class TDataModule : public TComponent {};

} // namespace vcl
