#include <windows.h>
#include <winnetwk.h>
#include <cstdio>
void walk(NETRESOURCEA* c, int depth){ HANDLE h; DWORD r=WNetOpenEnumA(2,0,2,c,&h); if(r){printf("%*sopen %lu\n",depth*2,"",r);return;}
 char buf[16384]; for(;;){ DWORD n=1,sz=sizeof buf; r=WNetEnumResourceA(h,&n,buf,&sz); if(r){printf("%*s-> %lu\n",depth*2,"",r); break;}
  NETRESOURCEA*e=(NETRESOURCEA*)buf; printf("%*s[%s] d=%lu u=%lx c=%s p=%s\n",depth*2,"",e->lpRemoteName?e->lpRemoteName:"(null)",e->dwDisplayType,e->dwUsage,e->lpComment?e->lpComment:"-",e->lpProvider?e->lpProvider:"-");
  if((e->dwUsage&2) && e->dwDisplayType!=2) { NETRESOURCEA copy=*e; char b2[16384]; memcpy(b2,buf,sizeof b2); walk((NETRESOURCEA*)b2, depth+1); (void)copy;} }
 WNetCloseEnum(h);}
int main(){ walk(nullptr,0); }
