#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

class ModelContext;
class PersistentModel;

// How one record type maps onto its table. Columns are listed in declaration order; transient
// attributes have no column.
struct EntityColumn {
    enum class Type { Text, Integer, Real, Blob, Reference };
    QString name;
    Type type = Type::Text;
    bool nullable = false;
    QString referencedTable; // for Type::Reference: the target's table (ON DELETE SET NULL)
    // Stored value of the attribute; an invalid QVariant is SQL NULL. References give the target's id.
    std::function<QVariant(const PersistentModel&)> read;
    // Assigns a stored value while loading (no change is recorded). References receive the target's id.
    std::function<void(PersistentModel&, const QVariant&, ModelContext&)> load;
    // Read from the store only when the record's getter first asks for it (pictures), not with the row.
    bool lazy = false;
};

struct EntityDescription {
    QString table;
    std::vector<EntityColumn> columns; // the first column is the unique id
    std::function<std::shared_ptr<PersistentModel>()> make;
    // What the user is told when a change of this type cannot be saved yet; empty: nothing is shown.
    QString unsavedNotice;
};

// Base of the stored record types: identity follows the object, never the attribute values.
// Every attribute write notifies `changed()` and marks the record for the next save.
class PersistentModel : public QObject {
    Q_OBJECT
public:
    ~PersistentModel() override;

    virtual const EntityDescription& entity() const = 0;
    // The record's own identity (the value of its unique id column).
    virtual QString identity() const = 0;

    ModelContext* modelContext() const { return context_; }
    bool isDeleted() const { return deleted_; }
    bool hasChanges() const { return dirty_; }

signals:
    void changed();

protected:
    PersistentModel() = default;

    // Getters of lazy (picture) fields call this first: the record's lazy columns are read on first use.
    void loadLazyColumns() const {
        if (lazyPending_)
            fetchLazyColumns();
    }

    // Whether a lazy column holds a value, known without reading it: lists can lay out "has a picture"
    // for thousands of records without loading a single picture. `present` is the loaded field's state.
    bool lazyValuePresent(const QString& column, bool present) const;

    // Assigns and records a change; equal values change nothing.
    template <class T> void write(T& field, const T& value) {
        loadLazyColumns(); // a later read must not bring back the stored value over this one
        if (field == value)
            return;
        field = value;
        didChange();
    }
    void didChange();

private:
    friend class ModelContext;
    void fetchLazyColumns() const;

    ModelContext* context_ = nullptr;
    mutable bool lazyPending_ = false;
    quint64 lazyPresent_ = 0; // while pending: which lazy columns (by their order among lazy columns) hold a value
    bool dirty_ = false;
    bool deleted_ = false;
    bool loading_ = false;
    quint64 sequence_ = 0;
};
