; The demo: the simulated Gpib-32.dll, kept in sim\ apart from the program, first on the
; search path of that one start.
CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\Skeld Error Log Viewer (Simulated Scope).lnk" "$SYSDIR\cmd.exe" '/c set "PATH=$INSTDIR\sim;%PATH%" && start "" "$INSTDIR\skeld-errlog.exe"' "$INSTDIR\skeld-errlog.ico" 0 SW_SHOWMINIMIZED
