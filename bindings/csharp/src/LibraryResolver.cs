// SPDX-License-Identifier: MIT
using System;
using System.Reflection;
using System.Runtime.InteropServices;

namespace Promfmt
{
    // Where the runtime has System.Runtime.InteropServices.NativeLibrary
    // (.NET Core 3.0 and later), loads the library by its runtime SONAME, so
    // no development symlink is needed, as the dllmap in Promfmt.dll.config
    // does on Mono. Reached through reflection because the binding is built
    // against Mono's class library, which has no NativeLibrary; on Mono and
    // on .NET Framework, Register does nothing.
    internal static class LibraryResolver
    {
        private static MethodInfo tryLoad;

        internal static void Register()
        {
            Type nativeLibrary = Type.GetType("System.Runtime.InteropServices.NativeLibrary");
            Type resolverType = Type.GetType("System.Runtime.InteropServices.DllImportResolver");
            if (nativeLibrary == null || resolverType == null)
                return;
            tryLoad = nativeLibrary.GetMethod("TryLoad", new[]
            {
                typeof(string), typeof(Assembly), typeof(DllImportSearchPath?),
                typeof(IntPtr).MakeByRefType(),
            });
            MethodInfo set = nativeLibrary.GetMethod("SetDllImportResolver",
                                                     new[] { typeof(Assembly), resolverType });
            MethodInfo resolve = typeof(LibraryResolver).GetMethod(
                "Resolve", BindingFlags.NonPublic | BindingFlags.Static);
            if (tryLoad == null || set == null)
                return;
            set.Invoke(null, new object[]
            {
                typeof(LibraryResolver).Assembly, Delegate.CreateDelegate(resolverType, resolve),
            });
        }

        // The runtime file names on Linux and macOS; elsewhere none exists,
        // and IntPtr.Zero hands the name back to the runtime's own probing.
        private static readonly string[] RuntimeNames =
        {
            "libvelkaron-prometheus-promfmt.so.1", "libvelkaron-prometheus-promfmt.1.dylib",
        };

        private static IntPtr Resolve(string name, Assembly assembly, DllImportSearchPath? path)
        {
            if (name != NativeMethods.Lib)
                return IntPtr.Zero;
            foreach (string file in RuntimeNames)
            {
                var args = new object[] { file, assembly, path, IntPtr.Zero };
                if ((bool)tryLoad.Invoke(null, args))
                    return (IntPtr)args[3];
            }
            return IntPtr.Zero;
        }
    }
}
