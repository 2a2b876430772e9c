// The built module through its exports: class factories, the server lock and
// the unload rule, as the COM runtime sees them.
#include "win_test_support.h"

#include <ocidl.h>

#include "filter/class_ids.h"
#include "filter/mfx.h"

namespace {

class Module : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(m_com.Result());
        ASSERT_TRUE(m_module.Loaded()) << ModulePath();
        ASSERT_EQ(m_module.CanUnloadNow(), S_OK) << "a previous test left something alive";
    }
    void TearDown() override {
        if (m_module.Loaded()) {
            EXPECT_EQ(m_module.CanUnloadNow(), S_OK) << "the test left something alive";
        }
    }
    HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** object) {
        return m_module.GetClassObject(classId, iid, object);
    }
    HRESULT CanUnloadNow() { return m_module.CanUnloadNow(); }

    IClassFactory* FilterFactory() {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(GetClassObject(CLSID_VeltraceFilter, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        return factory;
    }

    // LockServer on a fresh factory, released again: only the lock stays.
    HRESULT LockServerOnce(BOOL lock) {
        IClassFactory* factory = FilterFactory();
        if (factory == nullptr) return E_FAIL;
        const HRESULT result = factory->LockServer(lock);
        factory->Release();
        return result;
    }

    CComApartment m_com;
    CLoadedModule m_module;
};

}  // namespace

TEST_F(Module, ExportsExactlyTheFourEntryPoints) {
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_NE(GetProcAddress(m_module.Handle(), name), nullptr) << name;
}

TEST_F(Module, EachCallMakesItsOwnFactory) {
    IClassFactory* first = FilterFactory();
    IUnknown* second = nullptr;
    ASSERT_EQ(GetClassObject(CLSID_VeltraceFilter, IID_IUnknown, reinterpret_cast<void**>(&second)), S_OK);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(static_cast<IUnknown*>(first), second);
    EXPECT_EQ(first->AddRef(), 2u);
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(CanUnloadNow(), S_FALSE) << "a live factory keeps the module loaded";
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(Module, FactoryAnswersOnlyItsTwoInterfaces) {
    IClassFactory* factory = FilterFactory();
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(factory->QueryInterface(IID_IPersist, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    IUnknown* unknown = nullptr;
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(factory));
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(factory->Release(), 0u);
}

TEST_F(Module, RefusedInterfacesLeaveNothingAlive) {
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(GetClassObject(CLSID_VeltraceFilter, IID_IStream, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CanUnloadNow(), S_OK) << "the refused factory was freed";

    IClassFactory* factory = FilterFactory();
    object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersist, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    factory->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK) << "the refused filter was destroyed";
}

TEST_F(Module, UnknownClassIdsAreNotServed) {
    const CLSID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    for (const CLSID* classId : {&other, &IID_IMfxEventFilter}) {
        void* object = reinterpret_cast<void*>(0x1234);
        EXPECT_EQ(GetClassObject(*classId, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(object, reinterpret_cast<void*>(0x1234)) << "the out pointer is not written";
    }
}

TEST_F(Module, AggregationIsRefused) {
    for (const CLSID* classId : {&CLSID_VeltraceFilter, &CLSID_VeltracePropPage}) {
        IClassFactory* factory = nullptr;
        ASSERT_EQ(GetClassObject(*classId, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        CCountingUnknown outer;
        void* object = reinterpret_cast<void*>(0x1234);
        EXPECT_EQ(factory->CreateInstance(&outer, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(outer.m_refCount, 1u);
        factory->Release();
        EXPECT_EQ(CanUnloadNow(), S_OK) << "nothing was created";
    }
}

TEST_F(Module, LiveObjectsKeepTheModuleLoaded) {
    const struct {
        const CLSID* classId;
        const IID* iid;
    } classes[] = {{&CLSID_VeltraceFilter, &IID_IMfxEventFilter}, {&CLSID_VeltracePropPage, &IID_IPropertyPage}};
    for (const auto& served : classes) {
        IClassFactory* factory = nullptr;
        ASSERT_EQ(GetClassObject(*served.classId, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        IUnknown* object = nullptr;
        ASSERT_EQ(factory->CreateInstance(nullptr, *served.iid, reinterpret_cast<void**>(&object)), S_OK);
        EXPECT_EQ(factory->Release(), 0u);
        EXPECT_EQ(CanUnloadNow(), S_FALSE);
        EXPECT_EQ(object->Release(), 0u);
        EXPECT_EQ(CanUnloadNow(), S_OK);
    }
}

TEST_F(Module, ServerLockCountsBothWays) {
    EXPECT_EQ(LockServerOnce(TRUE), S_OK);
    EXPECT_EQ(LockServerOnce(7), S_OK);
    EXPECT_EQ(LockServerOnce(FALSE), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE) << "one lock left";
    EXPECT_EQ(LockServerOnce(FALSE), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_OK);
    EXPECT_EQ(LockServerOnce(FALSE), S_OK);  // -1: no lower bound
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    EXPECT_EQ(LockServerOnce(TRUE), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}
