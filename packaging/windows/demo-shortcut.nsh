; The demo: the simulated Gpib-32.dll, kept in sim\ apart from the program, first on the
; search path of that one start. As on Linux, an interface the user chose for real hardware
; (remembered or in SKELD_GPIB_INTERFACE) must not lead it away from that driver, and the demo
; must not change what is remembered.
CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\Skeld Error Log Viewer (Simulated Scope).lnk" "$SYSDIR\cmd.exe" '/c set "PATH=$INSTDIR\sim;%PATH%" && start "" "$INSTDIR\skeld-errlog.exe" --no-remember --interface ni' "$INSTDIR\skeld-errlog.ico" 0 SW_SHOWMINIMIZED
