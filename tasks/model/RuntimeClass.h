#pragma once

#include <string_view>

class CArchive;
class CObject;

// Run-time class information of the serialisable task classes: the name and schema stored in
// schedule files, the base class for kind tests, and the factory that builds a blank object.
struct CRuntimeClass {
    const char* m_lpszClassName;
    unsigned m_wSchema;
    CObject* (*m_pfnCreateObject)(); // null for classes that files may not name
    const CRuntimeClass* m_pBaseClass;

    CObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
    bool IsDerivedFrom(const CRuntimeClass* base) const;
};

// The classes that a schedule file may name; looked up by exact name.
const CRuntimeClass* FindRegisteredClass(std::string_view name);

// Adds a class to the registry; the classes register themselves when the library loads.
struct ClassRegistration {
    explicit ClassRegistration(const CRuntimeClass* cls);
};

// The root of the serialisable object tree.
class CObject {
public:
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;
    virtual void Serialize(CArchive& ar);
    virtual void AssertValid() const {}
    virtual void Dump() const {}

    bool IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }

    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

#define QM_RUNTIME_CLASS(name) (&name::class##name)

#define QM_DECLARE_SERIAL(name)                                                                              \
public:                                                                                                      \
    static const CRuntimeClass class##name;                                                                  \
    const CRuntimeClass* GetRuntimeClass() const override;                                                   \
    static CObject* CreateObject();

#define QM_DECLARE_DYNAMIC(name)                                                                             \
public:                                                                                                      \
    static const CRuntimeClass class##name;                                                                  \
    const CRuntimeClass* GetRuntimeClass() const override;

// Schema 3 is what this system writes; the reader hands whatever schema a file gives to the record.
#define QM_IMPLEMENT_SERIAL(name, base, schema)                                                              \
    CObject* name::CreateObject() {                                                                          \
        return new name;                                                                                     \
    }                                                                                                        \
    const CRuntimeClass name::class##name = {#name, schema, &name::CreateObject, QM_RUNTIME_CLASS(base)};    \
    const CRuntimeClass* name::GetRuntimeClass() const {                                                     \
        return &class##name;                                                                                 \
    }                                                                                                        \
    static const ClassRegistration s_register##name(&name::class##name);

#define QM_IMPLEMENT_DYNAMIC(name, base, schema)                                                             \
    const CRuntimeClass name::class##name = {#name, schema, nullptr, QM_RUNTIME_CLASS(base)};                \
    const CRuntimeClass* name::GetRuntimeClass() const {                                                     \
        return &class##name;                                                                                 \
    }
