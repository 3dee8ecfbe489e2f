#pragma once

#include "ModelContext.h"
#include "PersistentModel.h"

#include <QByteArray>
#include <QDateTime>
#include <QUuid>

#include <optional>

// Column builders for the record types: each maps one attribute onto its stored value.
namespace Columns {

template <class R> EntityColumn uuid(const QString& name, QUuid R::*field) {
    return {name,
            EntityColumn::Type::Text,
            false,
            {},
            [field](const PersistentModel& m) {
                return QVariant(static_cast<const R&>(m).*field).toString().remove('{').remove('}');
            },
            [field](PersistentModel& m, const QVariant& v, ModelContext&) {
                static_cast<R&>(m).*field = QUuid::fromString(v.toString());
            }};
}

template <class R> EntityColumn text(const QString& name, QString R::*field) {
    return {
        name,
        EntityColumn::Type::Text,
        false,
        {},
        [field](const PersistentModel& m) { return QVariant(static_cast<const R&>(m).*field); },
        [field](PersistentModel& m, const QVariant& v, ModelContext&) { static_cast<R&>(m).*field = v.toString(); }};
}

template <class R> EntityColumn integer(const QString& name, int R::*field) {
    return {name,
            EntityColumn::Type::Integer,
            false,
            {},
            [field](const PersistentModel& m) { return QVariant(qint64(static_cast<const R&>(m).*field)); },
            [field](PersistentModel& m, const QVariant& v, ModelContext&) {
                static_cast<R&>(m).*field = int(v.toLongLong());
            }};
}

template <class R> EntityColumn boolean(const QString& name, bool R::*field) {
    return {name,
            EntityColumn::Type::Integer,
            false,
            {},
            [field](const PersistentModel& m) { return QVariant(qint64(static_cast<const R&>(m).*field ? 1 : 0)); },
            [field](PersistentModel& m, const QVariant& v, ModelContext&) {
                static_cast<R&>(m).*field = v.toLongLong() != 0;
            }};
}

template <class R> EntityColumn date(const QString& name, QDateTime R::*field) {
    return {
        name,
        EntityColumn::Type::Integer,
        false,
        {},
        [field](const PersistentModel& m) { return QVariant((static_cast<const R&>(m).*field).toMSecsSinceEpoch()); },
        [field](PersistentModel& m, const QVariant& v, ModelContext&) {
            static_cast<R&>(m).*field = QDateTime::fromMSecsSinceEpoch(v.toLongLong(), Qt::UTC);
        }};
}

template <class R, class T>
EntityColumn optional(const QString& name, EntityColumn::Type type, std::optional<T> R::*field) {
    return {name,
            type,
            true,
            {},
            [field, type](const PersistentModel& m) -> QVariant {
                const auto& value = static_cast<const R&>(m).*field;
                if (!value)
                    return {};
                if constexpr (std::is_same_v<T, QDateTime>)
                    return QVariant(value->toMSecsSinceEpoch());
                else if constexpr (std::is_same_v<T, bool>)
                    return QVariant(qint64(*value ? 1 : 0));
                else
                    return QVariant(*value);
            },
            [field](PersistentModel& m, const QVariant& v, ModelContext&) {
                auto& target = static_cast<R&>(m).*field;
                if (!v.isValid()) {
                    target.reset();
                } else if constexpr (std::is_same_v<T, QDateTime>) {
                    target = QDateTime::fromMSecsSinceEpoch(v.toLongLong(), Qt::UTC);
                } else if constexpr (std::is_same_v<T, bool>) {
                    target = v.toLongLong() != 0;
                } else {
                    target = v.value<T>();
                }
            }};
}

// A picture kept in the record: read from the store only when first asked for.
template <class R> EntityColumn picture(const QString& name, std::optional<QByteArray> R::*field) {
    EntityColumn column = optional(name, EntityColumn::Type::Blob, field);
    column.lazy = true;
    return column;
}

// A to-one link, stored as the target's id; cleared when the target is deleted.
template <class R, class Target> EntityColumn reference(const QString& name, std::shared_ptr<Target> R::*field) {
    return {name,
            EntityColumn::Type::Reference,
            true,
            Target::description().table,
            [field](const PersistentModel& m) -> QVariant {
                const auto& target = static_cast<const R&>(m).*field;
                return target ? QVariant(target->identity()) : QVariant();
            },
            [field](PersistentModel& m, const QVariant& v, ModelContext& context) {
                static_cast<R&>(m).*field = v.isValid() ? context.object<Target>(v.toString()) : nullptr;
            }};
}

} // namespace Columns
