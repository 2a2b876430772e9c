// The built module through its exports: class factories, the server lock and
// the unload rule, as the COM runtime sees them.
#include "engine/class_ids.h"
#include "engine/mfx.h"
#include "win_test_support.h"

namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

class Module : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(m_com.Result());
        m_module = LoadLibraryA(ModulePath().c_str());
        ASSERT_NE(m_module, nullptr) << ModulePath();
        m_getClassObject = reinterpret_cast<GetClassObjectFunction>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetClassObject")));
        m_canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "DllCanUnloadNow")));
        ASSERT_NE(m_getClassObject, nullptr);
        ASSERT_NE(m_canUnloadNow, nullptr);
        ASSERT_EQ(m_canUnloadNow(), S_OK) << "a previous test left something alive";
    }
    void TearDown() override {
        if (m_canUnloadNow) {
            EXPECT_EQ(m_canUnloadNow(), S_OK) << "the test left something alive";
        }
        if (m_module) FreeLibrary(m_module);
    }

    IClassFactory* FilterFactory() {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(m_getClassObject(CLSID_VeltraceFilter, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
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
    HMODULE m_module = nullptr;
    GetClassObjectFunction m_getClassObject = nullptr;
    CanUnloadNowFunction m_canUnloadNow = nullptr;
};

}  // namespace

TEST_F(Module, ExportsExactlyTheFourEntryPoints) {
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_NE(GetProcAddress(m_module, name), nullptr) << name;
}

TEST_F(Module, EachCallMakesItsOwnFactory) {
    IClassFactory* first = FilterFactory();
    IUnknown* second = nullptr;
    ASSERT_EQ(m_getClassObject(CLSID_VeltraceFilter, IID_IUnknown, reinterpret_cast<void**>(&second)), S_OK);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(static_cast<IUnknown*>(first), second);
    EXPECT_EQ(first->AddRef(), 2u);
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(m_canUnloadNow(), S_FALSE) << "a live factory keeps the module loaded";
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(m_canUnloadNow(), S_FALSE);
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(m_canUnloadNow(), S_OK);
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
    EXPECT_EQ(m_getClassObject(CLSID_VeltraceFilter, IID_IStream, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(m_canUnloadNow(), S_OK) << "the refused factory was freed";

    IClassFactory* factory = FilterFactory();
    object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersist, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    factory->Release();
    EXPECT_EQ(m_canUnloadNow(), S_OK) << "the refused filter was destroyed";
}

TEST_F(Module, UnknownClassIdsAreNotServed) {
    const CLSID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    for (const CLSID* classId : {&other, &IID_IMfxEventFilter}) {
        void* object = reinterpret_cast<void*>(0x1234);
        EXPECT_EQ(m_getClassObject(*classId, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(object, reinterpret_cast<void*>(0x1234)) << "the out pointer is not written";
    }
}

TEST_F(Module, AggregationIsRefused) {
    IClassFactory* factory = FilterFactory();
    CCountingUnknown outer;
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(outer.m_refCount, 1u);
    factory->Release();
    EXPECT_EQ(m_canUnloadNow(), S_OK) << "nothing was created";
}

TEST_F(Module, LiveFilterKeepsTheModuleLoaded) {
    IClassFactory* factory = FilterFactory();
    IMfxEventFilter* filter = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IMfxEventFilter, reinterpret_cast<void**>(&filter)), S_OK);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(m_canUnloadNow(), S_FALSE);
    EXPECT_EQ(filter->Release(), 0u);
    EXPECT_EQ(m_canUnloadNow(), S_OK);
}

TEST_F(Module, ServerLockCountsBothWays) {
    EXPECT_EQ(LockServerOnce(TRUE), S_OK);
    EXPECT_EQ(LockServerOnce(7), S_OK);
    EXPECT_EQ(LockServerOnce(FALSE), S_OK);
    EXPECT_EQ(m_canUnloadNow(), S_FALSE) << "one lock left";
    EXPECT_EQ(LockServerOnce(FALSE), S_OK);
    EXPECT_EQ(m_canUnloadNow(), S_OK);
    EXPECT_EQ(LockServerOnce(FALSE), S_OK);  // -1: no lower bound
    EXPECT_EQ(m_canUnloadNow(), S_FALSE);
    EXPECT_EQ(LockServerOnce(TRUE), S_OK);
    EXPECT_EQ(m_canUnloadNow(), S_OK);
}
